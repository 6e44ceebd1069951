#include "foundation/AppNotifications.h"
#include "foundation/Settings.h"
#include "support/AccessiblePress.h"
#include "support/ReferenceBridge.h"
#include "support/TestHttpServer.h"
#include "support/TestPlatform.h"
#include "support/TestRepository.h"
#include "window/DashboardModule.h"
#include "window/MainWindow.h"
#include "window/ProjectMenu.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <qcoro/qcorotask.h>

#include <unistd.h>

using namespace std::chrono_literals;
using TestRepository::answers;

namespace {

BridgeProcess::Timings quick() {
    BridgeProcess::Timings timings;
    timings.startInterval = 50ms;
    timings.stopInterval = 50ms;
    return timings;
}

std::optional<BridgeRuntime> bundledRuntime() {
    return BridgeRuntime::in(QStringLiteral(TALLYRIG_TEST_BUNDLE),
                             QStringLiteral(TALLYRIG_TEST_BUNDLE "/Contents/Resources"));
}

QAction* menuItem(ProjectMenu* menu, const QString& text) {
    emit menu->menu()->aboutToShow();
    for (QAction* action : menu->menu()->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// What a press of a control did; `popup`: a menu popped up meanwhile.
using Effect = std::function<bool(MainWindow& window, bool popup)>;

} // namespace

Q_DECLARE_METATYPE(Effect)

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<BridgeProcess> m_bridge;
    AppNotifications m_notifications;

    void make(std::optional<BridgeRuntime> runtime, QStringList recents = {}) {
        static int serial = 0;
        m_bridge.reset();
        m_settings =
            std::make_unique<Settings>(m_dir.filePath(QStringLiteral("settings%1.json").arg(++serial)));
        m_settings->setRecentProjects(recents);
        m_bridge = std::make_unique<BridgeProcess>(*m_settings, childProcesses(), runtime, quick());
    }

    std::unique_ptr<MainWindow> window(QList<QUrl>* opened = nullptr) {
        auto model =
            new BridgeWindow(*m_settings, *m_bridge, m_notifications, BridgeWindow::Timings{1000ms, 100ms});
        // The real module from the bundle, loaded when the first dashboard is shown.
        auto dashboards = DashboardModule::factory(DashboardModule::pathIn(TALLYRIG_TEST_BUNDLE),
                                                   [opened](const QUrl& url) {
                                                       if (opened)
                                                           opened->append(url);
                                                   });
        auto window = std::make_unique<MainWindow>(model, dashboards);
        window->show();
        return window;
    }

    QString repository(const QString& name, quint16 port) {
        return TestRepository::make(m_dir.path(), name, port);
    }

    static QStringList visibleItems(MainWindow& window) {
        QStringList items;
        for (QAction* action : window.toolBar()->actions())
            if (action->isVisible() && !action->text().isEmpty())
                items.append(action->text());
            else if (action->isVisible() && action == window.projectMenuAction())
                items.append(QStringLiteral("project menu"));
        return items;
    }

private slots:
    void initTestCase() { qputenv("SHELL", TALLYRIG_TEST_FIXTURES "/shell-plain.sh"); }

    // Every control of the window, as an assistive technology presses it.
    void accessibleActionIsAClick_data() {
        QTest::addColumn<bool>("runtime");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("control"); // its accessible name
        QTest::addColumn<Effect>("effect");
        QTest::newRow("panel switch")
            << false << false << "Simulator Panel"
            << Effect([this](auto&, bool) { return !m_settings->simulatorPanel(); });
        QTest::newRow("settings") << false << true << "Settings"
                                  << Effect([](auto& w, bool) { return w.model().page() == "preferences"; });
        QTest::newRow("disconnect") << false << true << "Disconnect"
                                    << Effect([](auto& w, bool) { return !w.model().connected(); });
        QTest::newRow("project menu")
            << true << true << "Project" << Effect([](auto&, bool popup) { return popup; });
        QTest::newRow("open project")
            << true << false << "Open Project\u2026"
            << Effect([](auto& w, bool) { return w.template findChild<QFileDialog*>(); });
        QTest::newRow("disclosure") << true << false << "Use the command line instead"
                                    << Effect([](auto& w, bool) { return w.connectView()->commandLine(); });
        QTest::newRow("recent") << true << false << "gone-app" << Effect([this](auto&, bool) {
            return m_bridge->project() == m_dir.filePath(QStringLiteral("gone-app"));
        });
        QTest::newRow("copy") << false << false << "Copy" << Effect([](auto&, bool) {
            return QApplication::clipboard()->text() == "tallyrig start";
        });
        QTest::newRow("connect") << false << false << "Connect"
                                 << Effect([this](auto&, bool) { return m_settings->bridgePort() == 5123; });
    }
    void accessibleActionIsAClick() {
        QFETCH(bool, runtime);
        QFETCH(bool, connected);
        QFETCH(QString, control);
        QFETCH(Effect, effect);
        TestHttpServer server([](const QByteArray&, const QString&) {
            return TestHttpServer::json(R"({"service":"tallyrig"})");
        });
        QVERIFY(server.listen());
        make(runtime ? std::optional(BridgeRuntime{TALLYRIG_TEST_FIXTURES "/fake-node.sh", "/fake/cli"})
                     : std::nullopt,
             {m_dir.filePath(QStringLiteral("gone-app"))});
        m_settings->setBridgePort(connected ? server.port() : TestHttpServer::freePort());
        qputenv("TALLYRIG_FAKE_INIT", "six-lines");
        auto main = window();
        QTRY_COMPARE_WITH_TIMEOUT(main->model().connected(), connected, 5000);
        if (main->connectView() && main->connectView()->portField())
            main->connectView()->portField()->setText(QStringLiteral("5123"));
        bool popup = false; // a menu popped up, and was closed
        QTimer closer;
        closer.callOnTimeout([&] {
            if (QWidget* menu = QApplication::activePopupWidget())
                popup = menu->close();
        });
        closer.start(20);
        // Once the toolbar has shown the button, as it lays itself out; pressed once.
        QVERIFY(QTest::qWaitFor([&] { return pressAccessibly(main.get(), control); }));
        QTRY_VERIFY_WITH_TIMEOUT(effect(*main, popup), 5000);
        qunsetenv("TALLYRIG_FAKE_INIT");
    }

    void windowOpensAtItsSizeWithTheConnectScreen() {
        make(std::nullopt);
        auto main = window();
        QCOMPARE(main->windowTitle(), QStringLiteral("Tallyrig"));
        QCOMPARE(main->size(), QSize(1280, 850));
        QVERIFY(main->centralWidget()->minimumSize().width() >= 900);
        QVERIFY(main->centralWidget()->minimumSize().height() >= 650);
        QVERIFY(main->connectView() && main->connectView()->isVisible());
        QVERIFY(!main->dashboard());
    }

    void toolbarWhileDisconnectedHoldsOnlyThePanelSwitch() {
        make(bundledRuntime());
        auto main = window();
        QCOMPARE(visibleItems(*main), QStringList{QStringLiteral("Simulator Panel")});
        QCOMPARE(main->simulatorPanelAction()->toolTip(),
                 QStringLiteral("Show the Tallyrig panel next to the iOS Simulator ") +
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)
                         .toString(QKeySequence::NativeText)
                         .prepend('(') +
                     QLatin1Char(')'));
        QCOMPARE(main->settingsAction()->toolTip(),
                 QStringLiteral("Agent, automation and relaunch settings (") +
                     QKeySequence(Qt::CTRL | Qt::Key_Comma).toString(QKeySequence::NativeText) +
                     QLatin1Char(')'));
    }

    void panelSwitchShowsTheStoredValue() {
        make(std::nullopt);
        auto main = window();
        QVERIFY(main->simulatorPanelAction()->isChecked());
        main->simulatorPanelAction()->trigger();
        QCOMPARE(m_settings->simulatorPanel(), false);
        m_settings->setSimulatorPanel(true);
        QVERIFY(main->simulatorPanelAction()->isChecked());
    }

    void connectedWithoutARuntimeOffersDisconnect() {
        TestHttpServer server([](const QByteArray&, const QString& path) {
            if (path == QLatin1String("/api/bootstrap"))
                return TestHttpServer::json(R"({"service":"tallyrig"})");
            return TestHttpServer::html("<html><body><p>dashboard</p></body></html>");
        });
        QVERIFY(server.listen());
        make(std::nullopt);
        m_settings->setBridgePort(server.port());
        auto main = window();
        QTRY_VERIFY_WITH_TIMEOUT(main->model().connected(), 5000);
        QVERIFY(main->dashboard());
        // The web view, from the module the window loads when it first shows a dashboard.
        QCOMPARE(main->dashboard()->metaObject()->className(), "BridgeWebView");
        QCOMPARE(main->dashboard()->baseAddress(), QStringLiteral("http://127.0.0.1:%1").arg(server.port()));
        QCOMPARE(visibleItems(*main), (QStringList{"Simulator Panel", "Settings", "Disconnect"}));
        QCOMPARE(main->disconnectAction()->toolTip(),
                 QStringLiteral("Disconnect from the bridge on port %1").arg(server.port()));
        for (QAction* action : main->toolBar()->actions())
            QVERIFY(!action->isVisible() || action->isEnabled());

        main->settingsAction()->trigger();
        QCOMPARE(main->model().page(), QStringLiteral("preferences"));

        const int before = server.requestCount();
        main->disconnectAction()->trigger();
        QVERIFY(!main->model().connected());
        QCOMPARE(main->model().status(), ConnectStatus::Paused);
        QTRY_VERIFY(main->connectView() && main->connectView()->isVisible());
        QTRY_VERIFY(!main->dashboard());
        QCOMPARE(visibleItems(*main), QStringList{QStringLiteral("Simulator Panel")});
        QTest::qWait(400);
        QVERIFY(server.requestCount() - before <= 1); // at most the dashboard's own, never a probe
        QVERIFY(!server.paths().mid(before).contains(QStringLiteral("/api/bootstrap")));
    }

    void anotherPortGetsANewWebView() {
        const auto bridge = [](const QByteArray&, const QString& path) {
            if (path == QLatin1String("/api/bootstrap"))
                return TestHttpServer::json(R"({"service":"tallyrig"})");
            return TestHttpServer::html("<p>dashboard</p>");
        };
        TestHttpServer first(bridge);
        TestHttpServer second(bridge);
        QVERIFY(first.listen() && second.listen());
        make(std::nullopt);
        m_settings->setBridgePort(first.port());
        auto main = window();
        QTRY_VERIFY_WITH_TIMEOUT(main->dashboard(), 5000);
        const QPointer<DashboardView> old = main->dashboard();
        m_settings->setBridgePort(second.port());
        QVERIFY(main->dashboard() && main->dashboard() != old);
        QCOMPARE(main->dashboard()->baseAddress(), QStringLiteral("http://127.0.0.1:%1").arg(second.port()));
        QTRY_VERIFY(!old);
    }

    // The web engine's sandbox refuses root and then ends the process: the window says so instead.
    void asRootWithTheSandboxOnThereIsNoWebEngine() {
        if (geteuid() != 0)
            QSKIP("only the root user meets the sandbox's refusal");
        const QByteArray sandbox = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
        auto dashboards = DashboardModule::factory(DashboardModule::pathIn(TALLYRIG_TEST_BUNDLE));
        const std::unique_ptr<DashboardView> view(
            dashboards({QStringLiteral("http://127.0.0.1:4999"), {}, {}, {}}, nullptr));
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", sandbox);
        const QLabel* message = view->findChild<QLabel*>();
        QVERIFY(message);
        QVERIFY(message->text().contains(QLatin1String("root user")));
        QVERIFY(message->text().contains(QLatin1String("http://127.0.0.1:4999")));
    }

    void chooseProjectAsksForOneFolderAndOpensIt() {
        make(BridgeRuntime{QStringLiteral(TALLYRIG_TEST_FIXTURES "/fake-node.sh"),
                           QStringLiteral("/fake/cli")});
        auto main = window();
        const QString chosen = m_dir.filePath(QStringLiteral("chosen"));
        QDir().mkpath(chosen);
        qputenv("TALLYRIG_FAKE_INIT", "six-lines"); // the set-up fails, which is enough to see it ran
        // The chooser does not block: the window may close while it is open.
        main->model().chooseProject();
        QPointer<QFileDialog> dialog;
        QTRY_VERIFY((dialog = main->findChild<QFileDialog*>()) && dialog->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), dialog.data());
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Open"));
        QStringList labels;
        for (QLabel* label : dialog->findChildren<QLabel*>())
            labels.append(label->text());
        QVERIFY(labels.contains(
            QStringLiteral("Choose your app\u2019s repository. Tallyrig sets it up the first time.")));
        dialog->setDirectory(chosen);
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_COMPARE(m_bridge->state().kind, BridgeProcess::State::Kind::Failed);
        qunsetenv("TALLYRIG_FAKE_INIT");
        QCOMPARE(m_bridge->project().value_or(QStringLiteral("none")), chosen);
        QTRY_VERIFY(!dialog);

        // Cancelling opens nothing.
        const QStringList before = m_bridge->recents();
        main->model().chooseProject();
        QTRY_VERIFY((dialog = main->findChild<QFileDialog*>()) && dialog->isVisible());
        dialog->reject();
        QTRY_VERIFY(!dialog);
        QCOMPARE(m_bridge->recents(), before);
    }

    void closingTheWindowWithItsChooserOpen() {
        make(BridgeRuntime{QStringLiteral(TALLYRIG_TEST_FIXTURES "/fake-node.sh"),
                           QStringLiteral("/fake/cli")});
        QPointer<MainWindow> main = window().release();
        main->setAttribute(Qt::WA_DeleteOnClose);
        main->model().chooseProject();
        QTRY_VERIFY(main && main->findChild<QFileDialog*>() && main->findChild<QFileDialog*>()->isVisible());
        main->close();
        QTRY_VERIFY(!main);
        QCOMPARE(m_bridge->project(), std::nullopt);
    }

    void openingAProjectReachesTheDashboardAndStopBridgeReturns() {
        const auto runtime = bundledRuntime();
        QVERIFY2(runtime, "the build carries no runtime");
        make(runtime);
        const quint16 port = TestHttpServer::freePort();
        const QString project = repository(QStringLiteral("garden"), port);
        auto main = window();
        main->model().open(project);
        QTRY_VERIFY_WITH_TIMEOUT(main->model().connected(), 30000);
        QCOMPARE(m_bridge->state(), BridgeProcess::State::running());
        QCOMPARE(m_settings->bridgePort(), int(port));
        QVERIFY(main->dashboard());
        QCOMPARE(visibleItems(*main), (QStringList{"Simulator Panel", "Settings", "project menu"}));
        QCOMPARE(main->projectMenu()->text(), QStringLiteral("garden"));
        QCOMPARE(main->projectMenu()->toolTip(), QStringLiteral("Project: ") + project);

        QAction* stop = menuItem(main->projectMenu(), QStringLiteral("Stop Bridge"));
        QVERIFY(stop);
        stop->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!main->model().connected(), 15000);
        QCOMPARE(main->model().status(), ConnectStatus::Paused);
        QCOMPARE(m_bridge->state(), BridgeProcess::State::idle());
        QTRY_VERIFY(main->connectView() && main->connectView()->isVisible());
        QVERIFY(!answers(port));
    }

    void anAdoptedBridgeIsLeftRunning() {
        ReferenceBridge outside;
        QVERIFY2(outside.start(), qPrintable(outside.log()));
        make(bundledRuntime());
        auto main = window();
        main->model().open(outside.folder());
        QTRY_VERIFY_WITH_TIMEOUT(main->model().connected(), 15000);
        QCOMPARE(m_bridge->state(), BridgeProcess::State::external());
        QAction* leave =
            menuItem(main->projectMenu(), QStringLiteral("Disconnect (started from the command line)"));
        QVERIFY(leave);
        leave->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!main->model().connected(), 5000);
        QCOMPARE(m_bridge->state(), BridgeProcess::State::idle());
        QVERIFY(answers(outside.port()));
    }

    void theLastProjectReopensAtStartUp() {
        const quint16 port = TestHttpServer::freePort();
        const QString project = repository(QStringLiteral("orchard"), port);
        make(bundledRuntime(), {project, m_dir.filePath(QStringLiteral("gone"))});
        auto main = window();
        QTRY_VERIFY_WITH_TIMEOUT(main->model().connected(), 30000);
        QCOMPARE(m_bridge->project(), std::optional<QString>(project));
        QCoro::waitFor(main->model().stopBridge());
        QVERIFY(!answers(port));
    }

    void aDeletedLastProjectIsNotReopened() {
        make(bundledRuntime(), {m_dir.filePath(QStringLiteral("deleted-long-ago"))});
        auto main = window();
        QTest::qWait(300);
        QCOMPARE(m_bridge->state(), BridgeProcess::State::idle());
        QCOMPARE(m_bridge->project(), std::nullopt);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
