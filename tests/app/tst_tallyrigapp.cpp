#include "app/TallyrigApp.h"
#include "foundation/AppNotifications.h"
#include "foundation/Settings.h"
#include "panel/SimulatorPanelModel.h"
#include "simulator/SimulatorPanelController.h"
#include "support/FakeUpdater.h"
#include "window/MainWindow.h"

#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList titles(QMenu* menu) {
    QStringList items;
    for (QAction* action : menu->actions())
        items.append(action->isSeparator() ? QStringLiteral("—") : action->text());
    return items;
}

QMenu* menuNamed(QMainWindow* window, const QString& title) {
    for (QAction* action : window->menuBar()->actions())
        if (action->text().remove(QLatin1Char('&')) == title)
            return action->menu();
    return nullptr;
}

} // namespace

class TestTallyrigApp : public QObject {
    Q_OBJECT

    std::unique_ptr<TallyrigApp> m_app;

private slots:
    void initTestCase() { m_app = std::make_unique<TallyrigApp>(); }
    void cleanupTestCase() { m_app.reset(); }

    void menusHoldTheCommandsInTheirPlaces() {
        std::unique_ptr<QMainWindow> window(m_app->newWindow());
        // A window gets its menus as it first shows, after its first probe.
        QVERIFY(window->menuBar()->actions().isEmpty());
        window->show();
        QCOMPARE(titles(menuNamed(window.get(), QStringLiteral("Tallyrig"))),
                 (QStringList{"About Tallyrig", "Check for Updates\u2026", "—", "Settings\u2026", "—",
                              "Quit Tallyrig"}));
        QCOMPARE(titles(menuNamed(window.get(), QStringLiteral("View"))),
                 (QStringList{"Show Toolbar", "—", "Simulator Panel", "—", "Target Window\u2026",
                              "Choose a Window", "Follow the Simulator"}));
        QCOMPARE(titles(menuNamed(window.get(), QStringLiteral("File"))),
                 (QStringList{"New Window", "Close Window"}));
        QCOMPARE(m_app->settingsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        QCOMPARE(m_app->simulatorPanelAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
        QCOMPARE(m_app->settingsAction()->menuRole(), QAction::PreferencesRole);
    }

    void simulatorPanelToggleAndToolbarShowTheSameValue() {
        std::unique_ptr<QMainWindow> window(m_app->newWindow());
        auto* main = qobject_cast<MainWindow*>(window.get());
        QAction* menu = m_app->simulatorPanelAction();
        QVERIFY(menu->isCheckable());
        QVERIFY(menu->isChecked()); // nothing stored yet
        menu->trigger();
        QCOMPARE(m_app->settings().simulatorPanel(), false);
        QVERIFY(!main->simulatorPanelAction()->isChecked());
        main->simulatorPanelAction()->trigger();
        QCOMPARE(m_app->settings().simulatorPanel(), true);
        QVERIFY(menu->isChecked());
    }

    void settingsAsksEveryWindowForPreferences() {
        std::unique_ptr<QMainWindow> first(m_app->newWindow());
        std::unique_ptr<QMainWindow> second(m_app->newWindow());
        QSignalSpy posted(&m_app->notifications(), &AppNotifications::posted);
        m_app->settingsAction()->trigger();
        QCOMPARE(posted.count(), 1);
        QCOMPARE(posted.first().first().toString(), QStringLiteral("Tallyrig.openPreferences"));
        QCOMPARE(posted.first().at(1), QVariant());
        for (QMainWindow* window : {first.get(), second.get()})
            QTRY_COMPARE(qobject_cast<MainWindow*>(window)->model().page(), QStringLiteral("preferences"));
    }

    void eachWindowHasItsOwnConnection() {
        std::unique_ptr<QMainWindow> first(m_app->newWindow());
        std::unique_ptr<QMainWindow> second(m_app->newWindow());
        auto& one = qobject_cast<MainWindow*>(first.get())->model();
        auto& two = qobject_cast<MainWindow*>(second.get())->model();
        QVERIFY(&one != &two);
        one.disconnectFromBridge();
        QCOMPARE(one.status(), ConnectStatus::Paused);
        QCOMPARE(two.status(), ConnectStatus::Waiting);
    }

    void simulatorPanelFollowsFromTheFirstShownWindow() {
        // Its ports connect to the display and the bus only once a window shows.
        TallyrigApp app;
        QVERIFY(!app.panelController() && !app.ports().targeting && !app.ports().windowSystem);
        std::unique_ptr<QMainWindow> window(app.newWindow());
        QVERIFY(!app.panelController());
        QCOMPARE(app.panelModel().controller(), nullptr);
        window->show();
        SimulatorPanelController* controller = app.panelController();
        QVERIFY(controller);
        QVERIFY(controller->isStarted());
        QCOMPARE(app.panelModel().controller(), static_cast<PanelControl*>(controller));
        QSignalSpy ticks(controller, &SimulatorPanelController::ticked);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 2, 5000);
    }

    void theWayInFollowsWhatTheBuildCarries() {
        // This build's own bundle: with its runtime the window offers opening a project, without
        // it the command-line steps.
        const bool carried = TALLYRIG_TEST_CARRIES_RUNTIME;
        TallyrigApp app(platform::createPlatform(), QStringLiteral(TALLYRIG_TEST_BUNDLE));
        QCOMPARE(app.bridge().runtime().has_value(), carried);
        std::unique_ptr<QMainWindow> window(app.newWindow());
        window->show();
        ConnectView* screen = qobject_cast<MainWindow*>(window.get())->connectView();
        QCOMPARE(screen->projectSection() != nullptr, carried);
        QCOMPARE(screen->commandLine() != nullptr, !carried);
    }

    void theUpdaterStartsOnceAndTheCommandAsksIt() {
        platform::Platform ports = platform::createPlatform();
        auto updater = std::make_unique<FakeUpdater>();
        FakeUpdater& fake = *updater;
        ports.updater = std::move(updater);
        TallyrigApp app(std::move(ports));
        QCOMPARE(fake.starts, 1);
        QVERIFY(fake.checks.isEmpty());
        app.checkForUpdatesAction()->trigger();
        QCOMPARE(fake.checks.size(), 1);
        QCOMPARE(fake.starts, 1);
    }

    void checkForUpdatesSaysThereIsNoFeed() {
        std::unique_ptr<QMainWindow> window(m_app->newWindow());
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        m_app->checkForUpdatesAction()->trigger();
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = window->findChild<QMessageBox*>()) && box->isVisible());
        QVERIFY(box->text().contains(QStringLiteral("no update feed")));
        box->accept();
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    TestTallyrigApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tallyrigapp.moc"
