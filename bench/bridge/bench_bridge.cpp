// Prints how long opening a project takes with the reference bridge and where the time goes, what
// asking the login shell costs, and how much memory 10 MB of bridge output leaves behind.
#include "bridge/BridgeProcess.h"
#include "bridge/Probe.h"
#include "foundation/Settings.h"
#include "platform/ChildProcesses.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;
using State = BridgeProcess::State;

namespace {

platform::ChildProcesses& childProcesses() {
    static const auto control = platform::createChildProcesses();
    return *control;
}

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

qint64 rssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct Stats {
    QList<double> samples;
    void add(double ms) { samples.append(ms); }
    QString text() const {
        QList<double> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.isEmpty())
            return QStringLiteral("n/a");
        return QStringLiteral("median %1 ms (min %2, max %3, n=%4)")
            .arg(sorted[sorted.size() / 2], 0, 'f', 1)
            .arg(sorted.first(), 0, 'f', 1)
            .arg(sorted.last(), 0, 'f', 1)
            .arg(sorted.size());
    }
};

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

double msSince(const QElapsedTimer& clock, qint64 fromNs) {
    return double(clock.nsecsElapsed() - fromNs) / 1e6;
}

// One open of a freshly configured repository; the login shell is asked only if `bridge` has not yet.
struct OpenTimes {
    double total = 0, beforeLaunch = 0, launch = 0, firstAnswer = 0;
    bool ok = false;
};

OpenTimes timeOpen(BridgeProcess& bridge) {
    QTemporaryDir repo;
    QDir(repo.path()).mkdir(QStringLiteral(".git"));
    QFile config(repo.filePath(QStringLiteral("tallyrig.config.json")));
    config.open(QIODevice::WriteOnly);
    config.write(QByteArray("{\"port\": ") + QByteArray::number(freePort()) + "}\n");
    config.close();

    QElapsedTimer clock;
    qint64 starting = -1, started = -1;
    QObject context;
    QObject::connect(&bridge, &BridgeProcess::stateChanged, &context, [&] {
        if (bridge.state().kind != State::Kind::Starting || starting >= 0)
            return;
        starting = clock.nsecsElapsed();
        // The process is created right after this state is set.
        QTimer::singleShot(0, &context, [&] {
            if (QProcess* process = bridge.process()) {
                if (process->state() == QProcess::Running)
                    started = clock.nsecsElapsed();
                else
                    QObject::connect(process, &QProcess::started, &bridge,
                                     [&] { started = clock.nsecsElapsed(); });
            }
        });
    });
    clock.start();
    const auto port = QCoro::waitFor(bridge.open(repo.path()));
    OpenTimes times;
    times.total = msSince(clock, 0);
    times.ok = port.has_value() && bridge.state() == State::running() && started >= 0;
    if (times.ok) {
        times.beforeLaunch = double(starting) / 1e6;
        times.launch = double(started - starting) / 1e6;
        times.firstAnswer = times.total - double(started) / 1e6;
    } else {
        say(QStringLiteral("  open failed: ") + bridge.state().text);
    }
    QCoro::waitFor(bridge.stop());
    return times;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The bridges it opens walk reports with the simulated agent; none runs a real one.
    qputenv("TALLYRIG_AGENT", "simulate");
    QTemporaryDir home;
    Settings settings(home.filePath(QStringLiteral("settings.json")));
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;

    // 1. The login shell, with bash.
    qputenv("SHELL", "/bin/bash");
    {
        Stats login;
        for (int i = 0; i < rounds; ++i) {
            LaunchEnvironment shell(childProcesses(), {});
            QElapsedTimer clock;
            clock.start();
            QCoro::waitFor(shell.loginPath());
            login.add(msSince(clock, 0));
        }
        say(QStringLiteral("loginPath() with SHELL=/bin/bash: ") + login.text());
    }

    // 2. A probe of a port nobody listens on (the check before a start).
    {
        Stats probe;
        for (int i = 0; i < rounds; ++i) {
            const quint16 port = freePort();
            QElapsedTimer clock;
            clock.start();
            QCoro::waitFor(Probe::ask(port, 1500ms, Probe::forOpening));
            probe.add(msSince(clock, 0));
        }
        say(QStringLiteral("probe() of a free port: ") + probe.text());
    }

    // 3. open() to running with the reference bridge, product timings; cold asks the login shell.
    for (const bool cold : {true, false}) {
        const BridgeRuntime runtime{QStringLiteral(TALLYRIG_BENCH_NODE),
                                    QStringLiteral(TALLYRIG_BENCH_BRIDGE_CLI)};
        BridgeProcess shared(settings, childProcesses(), runtime);
        if (!cold)
            QCoro::waitFor(shared.launchEnvironment().environment());
        Stats total, before, launch, answer;
        for (int i = 0; i < rounds; ++i) {
            std::optional<BridgeProcess> fresh;
            if (cold)
                fresh.emplace(settings, childProcesses(), runtime);
            const OpenTimes times = timeOpen(cold ? *fresh : shared);
            if (!times.ok)
                continue;
            total.add(times.total);
            before.add(times.beforeLaunch);
            launch.add(times.launch);
            answer.add(times.firstAnswer);
        }
        say(QStringLiteral("open() to running, reference bridge, %1:")
                .arg(cold ? QStringLiteral("cold (login shell asked)")
                          : QStringLiteral("warm (search path cached)")));
        say(QStringLiteral("  total:                                    ") + total.text());
        say(QStringLiteral("  environment + config + probe (to launch): ") + before.text());
        say(QStringLiteral("  launch (start request to exec):           ") + launch.text());
        say(QStringLiteral("  first answer (exec to running):           ") + answer.text());
    }

    // 4. Memory after 10 MB of bridge output.
    {
        QTemporaryDir work;
        const QString text = work.filePath(QStringLiteral("flood.txt"));
        QFile flood(text);
        flood.open(QIODevice::WriteOnly);
        const QByteArray line =
            QByteArray("2026-12-09T05:00:00Z bridge: GET /api/reports 200 ") + QByteArray(48, '.') + "\n";
        qint64 written = 0;
        while (written < 10 * 1024 * 1024)
            written += flood.write(line);
        flood.write("END-OF-FLOOD\n");
        flood.close();

        qputenv("SHELL", TALLYRIG_BENCH_FIXTURES "/shell-plain.sh");
        qputenv("TALLYRIG_FAKE_START", "text-wait");
        qputenv("TALLYRIG_FAKE_TEXT", QFile::encodeName(text));
        QDir(work.path()).mkpath(QStringLiteral("repo/.git"));
        QFile config(work.filePath(QStringLiteral("repo/tallyrig.config.json")));
        config.open(QIODevice::WriteOnly);
        config.write(QByteArray("{\"port\": ") + QByteArray::number(freePort()) + "}\n");
        config.close();

        BridgeProcess::Timings timings;
        timings.startAttempts = 1000000;
        BridgeProcess bridge(settings, childProcesses(),
                             BridgeRuntime{QStringLiteral(TALLYRIG_BENCH_FIXTURES "/fake-node.sh"),
                                           QStringLiteral("/fake/bridge/bin/tallyrig.mjs")},
                             timings);
        const qint64 before = rssKiB();
        QElapsedTimer clock;
        clock.start();
        auto opening = bridge.open(work.filePath(QStringLiteral("repo")));
        while (!bridge.output().endsWith(QLatin1String("END-OF-FLOOD\n")) && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double seconds = clock.elapsed() / 1000.0;
        const qint64 after = rssKiB();
        say(QStringLiteral("10 MB of bridge output (%1 bytes) read in %2 s:")
                .arg(written + 13)
                .arg(seconds, 0, 'f', 2));
        say(QStringLiteral("  output(): %1 characters (%2 bytes as UTF-16)")
                .arg(bridge.output().size())
                .arg(bridge.output().size() * 2));
        say(QStringLiteral("  process RSS: %1 KiB before, %2 KiB after (%3 KiB more)")
                .arg(before)
                .arg(after)
                .arg(after - before));
        QCoro::waitFor(bridge.stop());
        QCoro::waitFor(opening);
    }
    return 0;
}
