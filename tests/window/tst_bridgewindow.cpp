#include "foundation/AppNotifications.h"
#include "foundation/Settings.h"
#include "support/ReferenceBridge.h"
#include "support/TestHttpServer.h"
#include "support/TestPlatform.h"
#include "support/TestRepository.h"
#include "window/BridgeWindow.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <qcoro/qcorotask.h>

using namespace std::chrono_literals;

namespace {
const BridgeWindow::Timings fast{500ms, 50ms};

QByteArray bridgeAnswer() {
    return R"({"service":"tallyrig","project":"/somewhere"})";
}
} // namespace

class TestBridgeWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<BridgeProcess> m_bridge;
    AppNotifications m_notifications;

    std::unique_ptr<BridgeWindow> makeWindow(int port, BridgeWindow::Timings timings = fast) {
        m_settings->setBridgePort(port);
        return std::make_unique<BridgeWindow>(*m_settings, *m_bridge, m_notifications, timings);
    }

private slots:
    void init() {
        static int serial = 0;
        m_settings =
            std::make_unique<Settings>(m_dir.filePath(QStringLiteral("settings%1.json").arg(++serial)));
        m_bridge = std::make_unique<BridgeProcess>(*m_settings, childProcesses(), std::nullopt);
    }

    void portsOutsideTheRangeAreRefusedWithoutARequest_data() {
        QTest::addColumn<int>("port");
        QTest::newRow("1023") << 1023;
        QTest::newRow("65536") << 65536;
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -4747;
    }
    void portsOutsideTheRangeAreRefusedWithoutARequest() {
        QFETCH(int, port);
        auto window = makeWindow(port);
        auto probe = window->connectToBridge(true);
        // Finished before any event could have carried a request.
        QVERIFY(probe.isReady());
        QCOMPARE(window->status(), ConnectStatus::InvalidPort);
        QCOMPARE(BridgeWindow::statusText(window->status(), port),
                 QStringLiteral("Enter a port between 1024 and 65535."));
    }

    void theRangeEndsAreProbed() {
        for (int port : {1024, 65535}) {
            auto window = makeWindow(port);
            auto probe = window->connectToBridge(true);
            QVERIFY(!probe.isReady());
            QCOMPARE(window->status(), ConnectStatus::Connecting);
            QCoro::waitFor(probe);
            QVERIFY(window->status() != ConnectStatus::InvalidPort);
        }
    }

    void answersThatAreNotTheBridgeAreNotTallyrig_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("404 with a bridge's body") << 404 << bridgeAnswer() << QByteArray("application/json");
        QTest::newRow("html") << 200 << QByteArray("<html><body>hi</body></html>") << QByteArray("text/html");
        QTest::newRow("other service")
            << 200 << QByteArray(R"({"service":"other"})") << QByteArray("application/json");
        QTest::newRow("no service") << 200 << QByteArray("{}") << QByteArray("application/json");
        QTest::newRow("null service")
            << 200 << QByteArray(R"({"service":null})") << QByteArray("application/json");
        QTest::newRow("numeric service")
            << 200 << QByteArray(R"({"service":5})") << QByteArray("application/json");
        QTest::newRow("capitalised") << 200 << QByteArray(R"({"service":"Tallyrig"})")
                                     << QByteArray("application/json");
        QTest::newRow("bare text") << 200 << QByteArray(R"("tallyrig")") << QByteArray("application/json");
        QTest::newRow("empty body") << 200 << QByteArray() << QByteArray("application/json");
    }
    void answersThatAreNotTheBridgeAreNotTallyrig() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, type);
        TestHttpServer server([&](const QByteArray&, const QString&) {
            return TestHttpServer::Reply{status, body, type};
        });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port());
        window->start();
        QTRY_COMPARE_WITH_TIMEOUT(window->status(), ConnectStatus::NotTallyrig, 5000);
        QCOMPARE(server.paths().first(), QStringLiteral("/api/bootstrap"));
        QVERIFY(!window->connected());
        QCOMPARE(BridgeWindow::statusText(window->status(), server.port()),
                 QStringLiteral("Port %1 is used by another service. Check the port in tallyrig.config.json.")
                     .arg(server.port()));

        // The loop keeps probing, so a bridge that takes over the port is found without the user.
        server.setHandler(
            [](const QByteArray&, const QString&) { return TestHttpServer::json(bridgeAnswer()); });
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 5000);
        QCOMPARE(window->status(), ConnectStatus::NotTallyrig); // a success leaves the status alone
    }

    void theWindowReadsOnlyTheService() {
        TestHttpServer server([](const QByteArray&, const QString&) {
            return TestHttpServer::json(R"({"service":"tallyrig","project":5})");
        });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port());
        QCoro::waitFor(window->connectToBridge(true));
        QVERIFY(window->connected());
    }

    void nothingListeningMeansWaitingUntilABridgeAppears() {
        const quint16 port = TestHttpServer::freePort();
        auto window = makeWindow(port);
        window->start();
        QTRY_COMPARE_WITH_TIMEOUT(window->status(), ConnectStatus::Waiting, 5000);
        QCOMPARE(BridgeWindow::statusText(ConnectStatus::Waiting, port),
                 QStringLiteral("Waiting for a bridge on port %1\u2026").arg(port));
        QTest::qWait(200);
        QVERIFY(!window->connected());

        TestHttpServer server(
            [](const QByteArray&, const QString&) { return TestHttpServer::json(bridgeAnswer()); });
        QVERIFY(server.listen(port));
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 5000);
    }

    // The product's two seconds are measured by bench/window.
    void aServerThatNeverAnswersTimesOut() {
        TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::silent(); });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port(), BridgeWindow::Timings{300ms, 60s});
        auto probe = window->connectToBridge(true);
        QTRY_VERIFY_WITH_TIMEOUT(probe.isReady(), 10000);
        QCOMPARE(window->status(), ConnectStatus::Waiting);
        QCOMPARE(server.requestCount(), 1);
    }

    void onlyTheUserSeesConnecting() {
        TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::silent(); });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port(), BridgeWindow::Timings{100ms, 50ms});
        QList<ConnectStatus> seen;
        QObject::connect(window.get(), &BridgeWindow::statusChanged, [&] { seen.append(window->status()); });
        window->start();
        QTRY_VERIFY_WITH_TIMEOUT(server.requestCount() >= 3, 5000);
        QVERIFY(!seen.contains(ConnectStatus::Connecting));

        auto probe = window->connectToBridge(true);
        QCOMPARE(window->status(), ConnectStatus::Connecting);
        QCoro::waitFor(probe);
        QCOMPARE(window->status(), ConnectStatus::Waiting);
    }

    void afterDisconnectNothingIsSentUntilConnect() {
        TestHttpServer server(
            [](const QByteArray&, const QString&) { return TestHttpServer::json(bridgeAnswer()); });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port());
        window->start();
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 5000);

        window->disconnectFromBridge();
        QVERIFY(!window->connected());
        QCOMPARE(window->status(), ConnectStatus::Paused);
        QCOMPARE(BridgeWindow::statusText(ConnectStatus::Paused, 1),
                 QStringLiteral("Disconnected. Press Connect to reconnect."));
        const int before = server.requestCount();
        QTest::qWait(400); // eight loop intervals
        QCOMPARE(server.requestCount(), before);

        // Connect probes again (the loop, no longer paused, may send one of its own meanwhile).
        QCoro::waitFor(window->connectToBridge(true));
        QVERIFY(server.requestCount() > before);
        QVERIFY(window->connected());
    }

    void anAnswerForAPortTheWindowLeftIsIgnored() {
        TestHttpServer server(
            [](const QByteArray&, const QString&) { return TestHttpServer::json(bridgeAnswer()); });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port());
        auto probe = window->connectToBridge(true);
        window->setPort(TestHttpServer::freePort());
        QCoro::waitFor(probe);
        QVERIFY(!window->connected());
    }

    // What the window was asked for changed while the probe was out: its answer, or its time-out,
    // must not undo a Disconnect.
    void aProbeThatEndsAfterDisconnectChangesNothing_data() {
        QTest::addColumn<bool>("bridgeAnswers");
        QTest::newRow("a bridge answers after Disconnect") << true;
        QTest::newRow("the request times out after Disconnect") << false;
    }
    void aProbeThatEndsAfterDisconnectChangesNothing() {
        QFETCH(bool, bridgeAnswers);
        TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::hold(); });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port(), BridgeWindow::Timings{300ms, 50ms});
        auto probe = window->connectToBridge(false);
        QTRY_COMPARE(server.requestCount(), 1);

        window->disconnectFromBridge();
        if (bridgeAnswers)
            server.answerHeld(TestHttpServer::json(bridgeAnswer()));
        QCoro::waitFor(probe);
        QVERIFY(!window->connected());
        QCOMPARE(window->status(), ConnectStatus::Paused);
    }

    // Opening a project leaves the port the window was on: the connect loop must not find the old
    // bridge there again while the new one starts.
    void anOpeningIsNotUndoneByTheBridgeItLeaves() {
        qputenv("SHELL", TALLYRIG_TEST_FIXTURES "/shell-plain.sh");
        qputenv("TALLYRIG_FAKE_START", "never");
        TestHttpServer old(
            [](const QByteArray&, const QString&) { return TestHttpServer::json(bridgeAnswer()); });
        QVERIFY(old.listen());
        BridgeProcess::Timings timings;
        timings.startAttempts = 100000;
        timings.startInterval = 20ms;
        timings.stopInterval = 20ms;
        BridgeProcess bridge(*m_settings, childProcesses(),
                             BridgeRuntime{QStringLiteral(TALLYRIG_TEST_FIXTURES "/fake-node.sh"),
                                           QStringLiteral("/fake/cli")},
                             timings);
        m_settings->setBridgePort(old.port());
        BridgeWindow window(*m_settings, bridge, m_notifications, fast);
        window.start();
        QTRY_VERIFY_WITH_TIMEOUT(window.connected(), 5000);
        const int before = old.requestCount();

        QTemporaryDir projects;
        const QString project = TestRepository::make(projects.path(), "new", TestHttpServer::freePort());
        auto opening = window.open(project);
        QVERIFY(!window.connected());
        // The new bridge is launched and has spoken: the loop had many turns meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(bridge.process() && bridge.output().contains("starting"), 10000);
        QTest::qWait(200);
        QVERIFY(!window.connected());
        QCOMPARE(old.requestCount(), before);

        QCoro::waitFor(bridge.stop());
        QCoro::waitFor(opening);
        qunsetenv("TALLYRIG_FAKE_START");
    }

    void theReferenceBridgeConnectsWithoutUserAction() {
        ReferenceBridge bridge;
        QVERIFY2(bridge.start(), qPrintable(bridge.log()));
        auto window = makeWindow(bridge.port());
        window->start();
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 10000);
        QCOMPARE(window->baseAddress(), bridge.baseAddress());
    }

    void openPreferencesPassesThroughTheEmptyPage() {
        auto window = makeWindow(4747);
        QStringList pages;
        QObject::connect(window.get(), &BridgeWindow::pageChanged, [&] { pages.append(window->page()); });
        window->showSettings();
        QCOMPARE(pages, QStringList{"preferences"});
        m_notifications.post(AppNotifications::openTallyrigPreferences);
        QTRY_COMPARE(pages, (QStringList{"preferences", "", "preferences"}));
    }

    void openReportTakesOnlyATextObject() {
        auto window = makeWindow(4747);
        window->showSettings();
        m_notifications.post(AppNotifications::openTallyrigReport, QStringLiteral("ab-12"));
        QCOMPARE(window->page(), QStringLiteral("inbox"));
        QCOMPARE(window->report(), std::optional<QString>(QStringLiteral("ab-12")));
        m_notifications.post(AppNotifications::openTallyrigReport, 12);
        QCOMPARE(window->report(), std::nullopt);
        m_notifications.post(AppNotifications::openTallyrigReport, QStringLiteral("cd"));
        m_notifications.post(AppNotifications::openTallyrigReport);
        QCOMPARE(window->report(), std::nullopt);
    }

    void aFailingBridgeProcessPausesTheWindow() {
        TestHttpServer server(
            [](const QByteArray&, const QString&) { return TestHttpServer::json(bridgeAnswer()); });
        QVERIFY(server.listen());
        auto window = makeWindow(server.port());
        QCoro::waitFor(window->connectToBridge(true));
        QVERIFY(window->connected());

        // Without a carried runtime, opening fails at once.
        QCoro::waitFor(window->open(m_dir.path()));
        QCOMPARE(m_bridge->state().kind, BridgeProcess::State::Kind::Failed);
        QVERIFY(!window->connected());
        QCOMPARE(window->status(), ConnectStatus::Paused);
    }

    void startupReopenNeedsACarriedRuntime() {
        m_settings->setRecentProjects({m_dir.path()});
        BridgeProcess bridge(*m_settings, childProcesses(), std::nullopt);
        BridgeWindow window(*m_settings, bridge, m_notifications, fast);
        QCoro::waitFor(window.startupReopen());
        QCOMPARE(bridge.state(), BridgeProcess::State::idle());
        QCOMPARE(bridge.project(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestBridgeWindow)
#include "tst_bridgewindow.moc"
