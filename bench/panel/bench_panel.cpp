// Prints the time and peak memory of building a report body with three pins whose screenshot is a
// 3 MB PNG of a 1290 × 2796 device (and so its annotated copy too), what send() costs beyond a bare
// POST of the same body against the reference bridge, how long the UI thread is held meanwhile,
// and the time of one polling pass over 500 reports.
#include "foundation/LoopbackNetwork.h"
#include "foundation/Settings.h"
#include "panel/SimulatorPanelModel.h"
#include "support/FakeSimulatorTool.h"
#include "support/ReferenceBridge.h"
#include "support/Settle.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <malloc.h>

using namespace std::chrono_literals;

namespace {

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Peak resident memory since the last reset, from the kernel's high-water mark.
struct Peak {
    static qint64 field(const char* name) {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(name))
                return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
        return -1;
    }
    qint64 base = 0;
    void reset() {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        base = field("VmRSS:");
    }
    qint64 rise() const { return field("VmHWM:") - base; }
};

struct Stats {
    QList<double> samples;
    void add(double v) { samples.append(v); }
    double median() const {
        QList<double> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        return sorted.isEmpty() ? 0 : sorted[sorted.size() / 2];
    }
    double max() const { return samples.isEmpty() ? 0 : *std::max_element(samples.begin(), samples.end()); }
    QString text(const char* unit) const {
        QList<double> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        return QStringLiteral("median %1 %5 (min %2, max %3, n=%4)")
            .arg(median(), 0, 'f', 2)
            .arg(sorted.value(0), 0, 'f', 2)
            .arg(max(), 0, 'f', 2)
            .arg(sorted.size())
            .arg(QLatin1String(unit));
    }
};

// A PNG of a 1290 × 2796 device screen of about `target` bytes: noise over as many rows as it takes.
QByteArray screenshot(qsizetype target) {
    QImage image(1290, 2796, QImage::Format_RGB32);
    image.fill(Qt::white);
    QRandomGenerator random(42);
    QByteArray bytes;
    for (int rows = 600; rows <= image.height(); rows += 20) {
        for (int y = rows - 20; y < rows; ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = 0xff000000u | (random.generate() & 0xffffff);
        }
        if (rows == 600) {
            for (int y = 0; y < 580; ++y) {
                auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    line[x] = 0xff000000u | (random.generate() & 0xffffff);
            }
        }
        bytes.clear();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        if (bytes.size() >= target)
            break;
    }
    return bytes;
}

QByteArray listing() {
    return R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-17-2":[)"
           R"({"state":"Booted","udid":"5A1B2C3D-0000-4000-8000-000000000001","name":"iPhone 15 Pro Max"}]}})";
}

// Three pins: two buttons and a spot with no element.
std::vector<PickResult> pins() {
    PickResult pick;
    pick.identifier = QStringLiteral("saveButton");
    pick.label = QStringLiteral("Save");
    pick.role = QStringLiteral("Button");
    pick.frame = QRectF(410, 130, 100, 44);
    pick.point = QPointF(452.34, 150.07);
    pick.screen = QRectF(400, 120, 287, 622);
    pick.window.title = QStringLiteral("iPhone 15 Pro Max \u2013 iOS 17.2");
    PickResult cancel = pick;
    cancel.identifier = QStringLiteral("cancelButton");
    cancel.label = QStringLiteral("Cancel");
    cancel.frame = QRectF(560, 130, 100, 44);
    cancel.point = QPointF(600, 150);
    PickResult spot = pick;
    spot.identifier.reset();
    spot.label.reset();
    spot.role = QStringLiteral("Screen");
    spot.frame.reset();
    spot.point = QPointF(540, 500);
    return {pick, cancel, spot};
}

// The longest the UI thread went without turning its event loop, while it is being watched: a
// timer that should fire every millisecond notes each gap.
class Stalls : public QObject {
public:
    Stalls() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_last.isValid())
                m_longest = std::max(m_longest, m_last.nsecsElapsed() / 1e6);
            m_last.start();
        });
    }
    void start() {
        m_longest = 0;
        m_last.invalidate();
        m_timer.start();
    }
    double stop() {
        m_timer.stop();
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_last;
    double m_longest = 0;
};

struct Store {
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
    explicit Store(quint16 port) {
        const QString path = dir.filePath(QStringLiteral("settings.json"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral(R"({"bridgePort": %1})").arg(port).toUtf8());
        file.close();
        settings = std::make_unique<Settings>(path);
    }
};

// Runs the event loop until the condition holds after the signal (never sleeps between events,
// unlike QTest's waiting, which would slow an upload fed chunk by chunk from this thread).
template <class Signal, class Condition>
void waitUntil(SimulatorPanelModel& model, Signal signal, Condition condition) {
    if (condition())
        return;
    QEventLoop loop;
    const auto connection = QObject::connect(&model, signal, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
}

} // namespace

int main(int argc, char** argv) {
    // Large blocks stay separately mapped, so memory given back leaves the resident set at once and
    // the high-water mark counts only what was alive together.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // The pins are drawn with the desktop's fonts; no window is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QByteArray png = screenshot(3 * 1000 * 1000);
    const double pngMiB = png.size() / 1048576.0;
    say(QStringLiteral("Screenshot: 1290 x 2796 PNG, %1 bytes (%2 MiB); three pins")
            .arg(png.size())
            .arg(pngMiB, 0, 'f', 2));

    ReferenceBridge bridge(600000); // the agent stays put: every report keeps its status
    if (!bridge.start()) {
        say(QStringLiteral("The reference bridge did not start: ") + bridge.log());
        return 1;
    }
    Store store(bridge.port());
    FakeSimulatorTool tool(FakeSimulatorTool::device(listing(), png));
    SimulatorPanelModel model(tool, *store.settings);
    model.setVisible(true);

    // From the pins to a draft whose pictures are drawn: the UI thread's longest stall meanwhile.
    Stats captureMs, drawnMs, captureStall;
    Stalls stalls;
    const auto capture = [&] {
        QElapsedTimer clock;
        clock.start();
        stalls.start();
        model.select(pins());
        waitUntil(model, &SimulatorPanelModel::draftChanged, [&] { return model.draft().has_value(); });
        captureMs.add(clock.nsecsElapsed() / 1e6);
        waitUntil(model, &SimulatorPanelModel::picturesChanged, [&] { return model.pictures() != nullptr; });
        drawnMs.add(clock.nsecsElapsed() / 1e6);
        captureStall.add(stalls.stop());
        model.setComment(QStringLiteral("Make the Save button match Cancel, and move both up"));
    };
    capture();
    if (!model.pictures()) {
        say(QStringLiteral("No pictures: ") + model.error().value_or(QString()));
        return 1;
    }
    const Draft draft = *model.draft();
    const ReportPictures pictures = model.pictures()->pictures;
    say(QStringLiteral("Annotated PNG: %1 bytes").arg(model.pictures()->annotatedPng.size()));

    // Building the body: payload, then the compact text that goes out.
    Stats payloadMs, bodyMs, bodyPeak;
    Peak peak;
    for (int i = 0; i < 20; ++i) {
        peak.reset();
        QElapsedTimer clock;
        clock.start();
        const ReportBody body = model.payload(draft, pictures);
        const qint64 built = clock.nsecsElapsed();
        const QByteArray text = body.compact();
        const qint64 written = clock.nsecsElapsed();
        bodyPeak.add(peak.rise() / 1048576.0);
        payloadMs.add(built / 1e6);
        bodyMs.add(written / 1e6);
        if (text.size() < png.size())
            return 1;
    }
    say(QStringLiteral("payload(draft, pictures): %1").arg(payloadMs.text("ms")));
    say(QStringLiteral("payload + compact body text: %1").arg(bodyMs.text("ms")));
    say(QStringLiteral("  peak memory above the draft: %1 (%2 PNG copies at most)")
            .arg(bodyPeak.text("MiB"))
            .arg(bodyPeak.max() / pngMiB, 0, 'f', 2));

    // send() against a bare POST of the same body, each going first every other time and each after
    // a quiet quarter second, so that neither inherits the other's work (or the capture's, or the
    // bridge's collecting of its garbage), and each on a new connection, as a report sent minutes
    // after the last one is: a connection that already carried megabytes uploads faster than one
    // that carried the polling's small requests, which would measure the connections' past. The UI thread's
    // longest stall is measured apart, below: watching it wakes the thread every millisecond.
    Stats answeredMs, returnedMs, sendMs, sendPeak, sendStall, bareMs, shareMs;
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    for (int i = 0; i < 41; ++i) {
        if (!model.draft())
            capture();
        const QByteArray text = model.payload(*model.draft(), model.pictures()->pictures).compact();
        const auto bare = [&] {
            QTest::qWait(250);
            network.clearConnectionCache();
            QNetworkRequest request(QUrl(bridge.baseAddress() + QStringLiteral("/report")));
            request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
            QElapsedTimer clock;
            clock.start();
            std::unique_ptr<QNetworkReply> reply(network.post(request, text));
            QEventLoop loop;
            QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
            bareMs.add(clock.nsecsElapsed() / 1e6);
        };
        if (i % 2)
            bare();

        QTest::qWait(250);
        loopbackNetwork().clearConnectionCache();
        peak.reset();
        QElapsedTimer clock;
        qint64 answered = 0;
        const auto connection = QObject::connect(&model, &SimulatorPanelModel::reportChanged, &model, [&] {
            if (!answered)
                answered = clock.nsecsElapsed();
        });
        clock.start();
        model.send();
        returnedMs.add(clock.nsecsElapsed() / 1e6);
        waitUntil(model, &SimulatorPanelModel::sendingChanged, [&] { return !model.sending(); });
        const qint64 done = clock.nsecsElapsed();
        QObject::disconnect(connection);
        sendPeak.add(peak.rise() / 1048576.0);
        if (model.error()) {
            say(QStringLiteral("send() failed: ") + *model.error());
            return 1;
        }
        answeredMs.add(answered / 1e6);
        sendMs.add(done / 1e6);

        if (i % 2 == 0)
            bare();
        shareMs.add(answered / 1e6 - bareMs.samples.last());
    }
    for (int i = 0; i < 10; ++i) {
        if (!model.draft())
            capture();
        QTest::qWait(250);
        stalls.start();
        model.send();
        waitUntil(model, &SimulatorPanelModel::sendingChanged, [&] { return !model.sending(); });
        sendStall.add(stalls.stop());
    }
    say(QStringLiteral("pins to a draft: %1").arg(captureMs.text("ms")));
    say(QStringLiteral("pins to drawn pictures (off the UI thread): %1").arg(drawnMs.text("ms")));
    say(QStringLiteral("  longest UI-thread stall meanwhile: %1").arg(captureStall.text("ms")));
    say(QStringLiteral("send() until the report is followed: %1").arg(answeredMs.text("ms")));
    say(QStringLiteral("bare POST of the same body: %1").arg(bareMs.text("ms")));
    say(QStringLiteral("  send()'s share beyond the bare POST, taken in turns: %1").arg(shareMs.text("ms")));
    say(QStringLiteral("  send() returns (the body written and handed to the network) after: %1")
            .arg(returnedMs.text("ms")));
    say(QStringLiteral("send() until sending ends (one polling pass included): %1").arg(sendMs.text("ms")));
    say(QStringLiteral("  longest UI-thread stall during send(): %1").arg(sendStall.text("ms")));
    say(QStringLiteral("  peak memory above the draft: %1 (%2 PNG copies at most)")
            .arg(sendPeak.text("MiB"))
            .arg(sendPeak.max() / pngMiB, 0, 'f', 2));

    // One polling pass over 500 reports (the twenty sent above and 480 more): settings, then discovery.
    for (int i = 0; i < 480; ++i) {
        if (bridge.postReport(QStringLiteral("Report %1").arg(i)).isEmpty()) {
            say(QStringLiteral("Could not fill the bridge"));
            return 1;
        }
    }
    Stats discoveryMs, followMs;
    for (int i = 0; i < 20; ++i) {
        model.dismissReport();
        QElapsedTimer clock;
        clock.start();
        settle(model.poll());
        discoveryMs.add(clock.nsecsElapsed() / 1e6);
        if (!model.report())
            return 1;
        clock.start();
        settle(model.poll());
        followMs.add(clock.nsecsElapsed() / 1e6);
    }
    say(QStringLiteral("Polling pass with discovery over 500 reports: %1").arg(discoveryMs.text("ms")));
    say(QStringLiteral("Polling pass following a working report: %1").arg(followMs.text("ms")));
    return 0;
}
