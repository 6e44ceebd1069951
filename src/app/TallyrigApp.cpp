#include "app/TallyrigApp.h"

#include "bridge/BridgeProcess.h"
#include "foundation/AppNotifications.h"
#include "foundation/Settings.h"
#include "foundation/Shortcuts.h"
#include "foundation/Style.h"
#include "window/BridgeWindow.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolBar>

TallyrigApp::TallyrigApp()
    : m_updater(Updater::create()), m_about(new QAction(QStringLiteral("About Tallyrig"), this)),
      m_checkForUpdates(new QAction(QStringLiteral("Check for Updates\u2026"), this)),
      m_settings(new QAction(QStringLiteral("Settings\u2026"), this)),
      m_quit(new QAction(QStringLiteral("Quit Tallyrig"), this)),
      m_newWindow(new QAction(QStringLiteral("New Window"), this)),
      m_closeWindow(new QAction(QStringLiteral("Close Window"), this)),
      m_simulatorPanel(new QAction(QStringLiteral("Simulator Panel"), this)) {
    QApplication::setApplicationName(QStringLiteral("Tallyrig"));
    QApplication::setApplicationVersion(QStringLiteral(TALLYRIG_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Tallyrig"));
    QApplication::setDesktopFileName(QStringLiteral("tallyrig"));
    QApplication::setWindowIcon(Style::appIcon());

    m_updater->start();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &m_appDelegate,
                     &AppDelegate::applicationWillTerminate);

    // On macOS the roles move these into the application menu; elsewhere they live in "Tallyrig".
    m_about->setMenuRole(QAction::AboutRole);
    m_checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    m_settings->setMenuRole(QAction::PreferencesRole);
    m_quit->setMenuRole(QAction::QuitRole);

    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_quit->setShortcut(QKeySequence::Quit);
    m_newWindow->setShortcut(QKeySequence::New);
    m_closeWindow->setShortcut(QKeySequence::Close);
    m_simulatorPanel->setShortcut(Shortcuts::simulatorPanel());
    m_simulatorPanel->setCheckable(true);
    m_simulatorPanel->setChecked(Settings::shared().simulatorPanel());

    connect(m_about, &QAction::triggered, this, [this] {
        QMessageBox::about(
            activeWindow(), QStringLiteral("About Tallyrig"),
            QStringLiteral("<b>Tallyrig %1</b><p>Point at a UI problem, describe the fix, and your "
                           "local agent makes it.</p>")
                .arg(QCoreApplication::applicationVersion()));
    });
    connect(m_checkForUpdates, &QAction::triggered, this,
            [this] { m_updater->checkForUpdates(activeWindow()); });
    connect(m_settings, &QAction::triggered, this,
            [] { AppNotifications::shared().post(AppNotifications::openTallyrigPreferences); });
    connect(m_quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(m_newWindow, &QAction::triggered, this, [this] { newWindow()->show(); });
    connect(m_closeWindow, &QAction::triggered, this, [this] {
        if (QWidget* window = activeWindow())
            window->close();
    });
    connect(m_simulatorPanel, &QAction::toggled, &Settings::shared(), &Settings::setSimulatorPanel);
    connect(&Settings::shared(), &Settings::simulatorPanelChanged, m_simulatorPanel, &QAction::setChecked);
}

TallyrigApp::~TallyrigApp() = default;

QWidget* TallyrigApp::activeWindow() const {
    return QApplication::activeWindow();
}

QMainWindow* TallyrigApp::newWindow() {
    auto* window = new MainWindow(new BridgeWindow(Settings::shared(), BridgeProcess::shared()));
    window->setAttribute(Qt::WA_DeleteOnClose);
    installMenus(window);
    return window;
}

void TallyrigApp::installMenus(QMainWindow* window) {
    QMenuBar* bar = window->menuBar();
#ifdef Q_OS_MACOS
    QMenu* app = bar->addMenu(QStringLiteral("Tallyrig"));
    app->addAction(m_about);
    app->addAction(m_checkForUpdates);
    app->addAction(m_settings);
    app->addAction(m_quit);
#else
    QMenu* app = bar->addMenu(QStringLiteral("&Tallyrig"));
    app->addAction(m_about);
    app->addAction(m_checkForUpdates);
    app->addSeparator();
    app->addAction(m_settings);
    app->addSeparator();
    app->addAction(m_quit);
#endif
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(m_newWindow);
    file->addAction(m_closeWindow);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    if (auto* main = qobject_cast<MainWindow*>(window)) {
        QAction* toolbar = main->toolBar()->toggleViewAction();
        toolbar->setText(QStringLiteral("Show Toolbar"));
        view->addAction(toolbar);
        view->addSeparator();
    }
    view->addAction(m_simulatorPanel);
}
