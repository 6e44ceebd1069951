// A seeded mutation fuzzer for every decoder of what other programs hand us. A decoder may refuse an
// input; it may not crash, hang, throw anything but our Failure, or word a failure in the JSON
// library's text. Runs are bounded by a count of inputs, not by time, and repeat exactly.
// Usage: fuzz_decoders <target> <seed corpus folder> <count> [seed]
#include "bridge/Probe.h"
#include "bridge/ProjectConfiguration.h"
#include "foundation/Settings.h"
#include "panel/BridgeApi.h"
#include "panel/SimulatorPanelModel.h"
#include "simulator/ElementSource.h"
#include "simulator/Simctl.h"
#include "support/FakeSimulatorTool.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <random>

namespace {

const QList<QByteArray> tokens =
    QByteArray(R"({ } [ ] " : , null true false 0 -1 5000.0 1e400 -1e400 1e-400 18446744073709551616 )"
               R"(-9223372036854775809 "\ud800" "\u0000" "tallyrig" "service" "project" "port" "bridgePort" )"
               R"("recentProjects" "simulatorPanel" "devices" "state" "Booted" "udid" "name" "id" "status" )"
               R"("review" "fixing" "createdAt" "2024-05-01T09:00:00.125Z" "comment" "error" "autoDispatch")")
        .split(' ');
const QList<QByteArray> notUtf8{"\xff", "\xc0\x80", "\xed\xa0\x80", "\xc3", "\xf4\x90\x80\x80"};

QByteArray mutated(const QList<QByteArray>& corpus, std::mt19937_64& random) {
    const auto pick = [&random](qsizetype n) { return n > 0 ? qsizetype(random() % quint64(n)) : 0; };
    QByteArray data = corpus[pick(corpus.size())];
    for (qsizetype round = 0, rounds = 1 + pick(4); round < rounds; ++round) {
        const qsizetype at = pick(data.size() + 1);
        switch (pick(8)) {
        case 0: // one bit
            if (!data.isEmpty())
                data[at % data.size()] = char(data[at % data.size()] ^ (1 << pick(8)));
            break;
        case 1: // a range gone, or the rest
            data.remove(at, pick(2) ? pick(16) : data.size());
            break;
        case 2: // a range repeated
            data.insert(at, data.mid(pick(data.size()), pick(64)));
            break;
        case 3: // spliced with another seed
            data = data.left(at) + corpus[pick(corpus.size())].mid(pick(64));
            break;
        case 4:
            data.insert(at, tokens[pick(tokens.size())]);
            break;
        case 5: { // deep nesting, as a member or an element where a container opens
            const qsizetype open = data.indexOf(pick(2) ? '[' : '{', at);
            const qsizetype depth = 1 + pick(pick(2) ? 300 : 30000);
            const QByteArray nest = QByteArray(depth, '[') + QByteArray(depth, ']') + ',';
            if (open >= 0)
                data.insert(open + 1, data[open] == '{' ? "\"k\":" + nest : nest);
            break;
        }
        case 6: // a number no double holds
            data.insert(at, QByteArray(1 + pick(500), '9') + (pick(2) ? "e999" : ""));
            break;
        case 7:
            data.insert(at, notUtf8[pick(notUtf8.size())]);
            break;
        }
    }
    return data.left(1 << 20);
}

// The decoder under test, fed one input. The file targets write it where the decoder reads it.
std::function<void(const QByteArray&)> target(const QString& name, const QString& scratch) {
    const auto file = [](const QString& path, const QByteArray& input) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
            qFatal("cannot write %s", qPrintable(path));
    };
    QDir(scratch).mkdir(QStringLiteral(".git"));
    if (name == QLatin1String("bootstrap"))
        return [](const QByteArray& input) {
            // Any status, redirects included.
            for (const Probe::Rules rules : {Probe::forOpening, Probe::forConnecting}) {
                Bootstrap::decode(input, rules.readProject);
                Probe::judge({false, int(input.size() % 600), input}, rules);
            }
        };
    if (name == QLatin1String("configuration"))
        return [=](const QByteArray& input) {
            file(scratch + QStringLiteral("/tallyrig.config.json"), input);
            ProjectConfiguration::port(scratch);
        };
    if (name == QLatin1String("settings"))
        return [=](const QByteArray& input) {
            file(scratch + QStringLiteral("/settings.json"), input);
            Settings settings(scratch + QStringLiteral("/settings.json"));
            settings.bridgePort();
            settings.recentProjects();
            settings.targetWindow(QStringLiteral("/p"));
            // Written back, with whatever else the file held.
            settings.setSimulatorPanel(!settings.simulatorPanel());
        };
    if (name == QLatin1String("simctl"))
        return [](const QByteArray& input) {
            const QList<Simctl::Device> booted = Simctl::bootedDevices(input);
            for (const QString& name : {QStringLiteral("iPhone 15 Pro"), booted.value(0).name}) {
                try {
                    Simctl::choose(booted, name, QStringLiteral("iOS 17.2"));
                } catch (const PanelError&) {
                }
            }
        };
    if (name == QLatin1String("devicetree"))
        return [](const QByteArray& input) {
            DeviceTree::Tree tree;
            try {
                tree = DeviceTree::parse(input);
            } catch (const Failure&) {
                return;
            }
            // Hit and walked as targeting does, laid on a screen half the tree's size.
            const auto source =
                ElementSources::snapshot(tree, tree.size.isEmpty() ? QSizeF(390, 844) : tree.size);
            const QRectF screen(10, 20, 195, 422);
            for (const QPointF at : {QPointF(20, 30), QPointF(100, 230), QPointF(204, 441)})
                source->element(at, SimulatorWindow{}, screen);
            source->elements(SimulatorWindow{}, screen);
            tree.bare();
        };
    if (name == QLatin1String("answers")) {
        // What the panel's model reads of an answer, and the preview's text of it.
        struct Panel {
            FakeSimulatorTool tool;
            Settings store;
            SimulatorPanelModel model{tool, store};
        };
        const std::shared_ptr<Panel> panel(
            new Panel{FakeSimulatorTool(), Settings(scratch + QStringLiteral("/settings.json"))});
        return [panel](const QByteArray& input) {
            const nlohmann::json answer = BridgeApi::parseAnswer(input);
            answer.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
            for (const char* key : {"id", "status", "error", "comment"})
                ReportStatus::title(BridgeApi::text(answer, key).value_or(QString()));
            parseCreatedAt(BridgeApi::text(answer, "createdAt").value_or(QString()));
            BridgeApi::statusPath(BridgeApi::text(answer, "id").value_or(QString()));
            newestPending(answer, {}, BridgeApi::text(answer, "id"));
            panel->model.applySettings(answer);
        };
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    // Memory-backed where there is one: the file targets write every input.
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir scratch((QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) +
                          QStringLiteral("/fuzz-XXXXXX"));
    const auto decode = target(arguments.value(1), scratch.path());
    const QDir seeds(arguments.value(2));
    QList<QByteArray> corpus;
    for (const QString& name : seeds.entryList(QDir::Files, QDir::Name)) {
        QFile seed(seeds.filePath(name));
        if (seed.open(QIODevice::ReadOnly))
            corpus.append(seed.readAll());
    }
    const qint64 count = arguments.value(3).toLongLong();
    if (!decode || corpus.isEmpty() || count <= 0 || !scratch.isValid())
        qFatal("usage: fuzz_decoders bootstrap|configuration|settings|simctl|devicetree|answers <corpus> "
               "<count> [seed]");

    std::mt19937_64 random(arguments.value(4, QStringLiteral("15")).toULongLong());
    QElapsedTimer clock;
    clock.start();
    for (qint64 i = 0; i < count; ++i) {
        const QByteArray input = i < corpus.size() ? corpus[i] : mutated(corpus, random);
        QString fault;
        try {
            decode(input);
        } catch (const Failure& failure) {
            if (failure.description().isEmpty() ||
                failure.description().contains(QLatin1String("json.exception")))
                fault = QStringLiteral("a failure worded \u201c%1\u201d").arg(failure.description());
        } catch (const std::exception& other) {
            fault = QStringLiteral("an exception escaped: ") + QString::fromUtf8(other.what());
        } catch (...) {
            fault = QStringLiteral("something else was thrown");
        }
        if (!fault.isEmpty()) {
            QFile kept(QStringLiteral("fuzz-%1-failure.bin").arg(arguments.value(1)));
            if (kept.open(QIODevice::WriteOnly))
                kept.write(input);
            qCritical("input %lld: %s (kept in %s)", i, qPrintable(fault), qPrintable(kept.fileName()));
            return 1;
        }
    }
    qInfo("%s: %lld inputs in %lld ms", qPrintable(arguments.value(1)), count, clock.elapsed());
    return 0;
}
