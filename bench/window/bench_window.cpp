// Prints, with the product's timings (a 2 s probe time-out, a probe every 2 s):
//  - how long a user's probe of a server that accepts and never answers takes to give up;
//  - how long the connect loop takes to connect once a bridge starts answering on its port, the
//    bridge appearing at a random moment of the loop's interval.
// Rounds as the first argument (default 5).
#include "foundation/AppNotifications.h"
#include "foundation/Settings.h"
#include "support/TestHttpServer.h"
#include "support/TestPlatform.h"
#include "window/BridgeWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <qcoro/qcorotask.h>

#include <algorithm>
#include <cstdio>

namespace {

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString stats(QList<double> samples) {
    std::sort(samples.begin(), samples.end());
    if (samples.isEmpty())
        return QStringLiteral("n/a");
    return QStringLiteral("median %1 ms (min %2, max %3, n=%4)")
        .arg(samples[samples.size() / 2], 0, 'f', 1)
        .arg(samples.first(), 0, 'f', 1)
        .arg(samples.last(), 0, 'f', 1)
        .arg(samples.size());
}

TestHttpServer::Reply bridgeAnswer(const QByteArray&, const QString&) {
    return TestHttpServer::json(R"({"service":"tallyrig","project":"/bench"})");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 5;
    QTemporaryDir home;
    Settings settings(home.filePath(QStringLiteral("settings.json")));
    BridgeProcess bridge(settings, childProcesses(), std::nullopt);
    AppNotifications notifications;

    QList<double> timeOuts;
    for (int round = 0; round < rounds; ++round) {
        TestHttpServer silent([](const QByteArray&, const QString&) { return TestHttpServer::silent(); });
        silent.listen();
        settings.setBridgePort(silent.port());
        BridgeWindow window(settings, bridge, notifications);
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(window.connectToBridge(true));
        timeOuts.append(double(clock.nsecsElapsed()) / 1e6);
    }
    say(QStringLiteral("probe of a server that never answers: ") + stats(timeOuts));

    QList<double> found;
    for (int round = 0; round < rounds; ++round) {
        const quint16 port = TestHttpServer::freePort();
        settings.setBridgePort(port);
        BridgeWindow window(settings, bridge, notifications);
        window.start();
        QTest::qWait(int(QRandomGenerator::global()->bounded(2000, 4000)));
        TestHttpServer server(bridgeAnswer);
        if (!server.listen(port))
            continue;
        QElapsedTimer clock;
        clock.start();
        if (QTest::qWaitFor([&] { return window.connected(); }, 10000))
            found.append(double(clock.nsecsElapsed()) / 1e6);
    }
    say(QStringLiteral("a bridge that appears is connected after: ") + stats(found));
    return 0;
}
