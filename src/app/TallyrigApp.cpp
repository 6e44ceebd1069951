#include "app/TallyrigApp.h"

#include "foundation/CommonWidgets.h"
#include "foundation/Shortcuts.h"
#include "foundation/Style.h"
#include "panel/SimulatorPanelModel.h"
#include "panel/SimulatorPanelView.h"
#include "panel/VisualEffect.h"
#include "platform/FrameFlipping.h"
#include "simulator/SimulatorPanelController.h"
#include "window/BridgeWindow.h"
#include "window/DashboardModule.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>

namespace {

std::optional<QString> resourcesOf(const std::optional<QString>& bundle) {
    if (!bundle)
        return std::nullopt;
    return *bundle + QStringLiteral("/Contents/Resources");
}

} // namespace

TallyrigApp::TallyrigApp(platform::Platform ports, std::optional<QString> bundle, const QString& settingsFile)
    : m_platform(std::move(ports)), m_settings(settingsFile),
      m_bridge(m_settings, *m_platform.childProcesses, BridgeRuntime::in(bundle, resourcesOf(bundle))),
      m_appDelegate(m_bridge),
      m_dashboards(DashboardModule::factory(DashboardModule::pathIn(bundle.value_or(QString())))),
      m_about(new QAction(QStringLiteral("About Tallyrig"), this)),
      m_checkForUpdates(new QAction(QStringLiteral("Check for Updates\u2026"), this)),
      m_settingsAction(new QAction(QStringLiteral("Settings\u2026"), this)),
      m_quit(new QAction(QStringLiteral("Quit Tallyrig"), this)),
      m_newWindow(new QAction(QStringLiteral("New Window"), this)),
      m_closeWindow(new QAction(QStringLiteral("Close Window"), this)),
      m_simulatorPanel(new QAction(QStringLiteral("Simulator Panel"), this)),
      m_targetWindow(new QAction(QStringLiteral("Target Window\u2026"), this)),
      m_followSimulator(new QAction(QStringLiteral("Follow the Simulator"), this)) {
    QApplication::setApplicationName(QStringLiteral("Tallyrig"));
    QApplication::setApplicationVersion(QStringLiteral(TALLYRIG_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Tallyrig"));
    QApplication::setDesktopFileName(QStringLiteral(TALLYRIG_IDENTIFIER));
    QApplication::setWindowIcon(Style::appIcon());
    Spinner::setFrameFlipperFactory(platform::createFrameFlipperFactory());

    m_platform.updater->start();
    m_platform.terminationSignals->quitOnRequest();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &m_appDelegate,
                     &AppDelegate::applicationWillTerminate);

    // On macOS the roles move these into the application menu; elsewhere they live in "Tallyrig".
    m_about->setMenuRole(QAction::AboutRole);
    m_checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    m_settingsAction->setMenuRole(QAction::PreferencesRole);
    m_quit->setMenuRole(QAction::QuitRole);

    m_settingsAction->setShortcut(Shortcuts::settings());
    m_quit->setShortcut(QKeySequence::Quit);
    m_newWindow->setShortcut(QKeySequence::New);
    m_closeWindow->setShortcut(QKeySequence::Close);
    m_simulatorPanel->setShortcut(Shortcuts::simulatorPanel());
    m_simulatorPanel->setCheckable(true);
    m_simulatorPanel->setChecked(m_settings.simulatorPanel());
    m_targetWindow->setToolTip(QStringLiteral("Click another app\u2019s window for the panel to follow"));
    m_followSimulator->setCheckable(true);
    m_followSimulator->setChecked(true);

    connect(m_about, &QAction::triggered, this, &TallyrigApp::showAbout);
    connect(m_checkForUpdates, &QAction::triggered, this,
            [this] { m_platform.updater->checkForUpdates(activeWindow()); });
    connect(m_settingsAction, &QAction::triggered, this,
            [this] { m_notifications.post(AppNotifications::openTallyrigPreferences); });
    connect(m_quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(m_newWindow, &QAction::triggered, this, [this] { newWindow()->show(); });
    connect(m_closeWindow, &QAction::triggered, this, [this] {
        if (QWidget* window = activeWindow())
            window->close();
    });
    connect(m_simulatorPanel, &QAction::toggled, &m_settings, &Settings::setSimulatorPanel);
    connect(m_targetWindow, &QAction::triggered, this, [this] {
        if (m_panelController)
            m_panelController->chooseTarget();
    });
    connect(m_followSimulator, &QAction::triggered, this, [this] {
        if (m_panelController)
            m_panelController->followSimulator();
        m_followSimulator->setChecked(!m_panelController || !m_panelController->target());
    });
    connect(&m_settings, &Settings::simulatorPanelChanged, m_simulatorPanel, &QAction::setChecked);

    m_panelModel = std::make_unique<SimulatorPanelModel>(*m_platform.simulatorTool, m_settings);
    m_panelModel->setNotifications(&m_notifications);
    m_panelModel->setRaiseMainWindow([this] { raiseMainWindow(); });
    if (m_platform.targeting && m_platform.windowSystem)
        makePanelController();
}

TallyrigApp::~TallyrigApp() {
    // The windows use what this object owns, so they go first.
    for (const QPointer<QMainWindow>& window : std::as_const(m_windows))
        delete window.data();
}

void TallyrigApp::makePanelController() {
    for (const QString& problem : std::as_const(m_platform.targeting->problems))
        qWarning("Tallyrig: the Simulator panel cannot follow the Simulator: %s", qUtf8Printable(problem));
    const bool hasRuntime = m_bridge.runtime().has_value();
    m_panelController = std::make_unique<SimulatorPanelController>(
        m_platform.targeting->ports(), *m_platform.windowSystem, m_settings, *m_panelModel,
        [this, hasRuntime](QWidget* panel) {
            auto* view = new SimulatorPanelView(*m_panelModel, m_settings, hasRuntime, {}, panel);
            // The plate covers the whole panel window.
            view->background()->setShapesWindow(true);
            view->background()->setCompositingCheck(
                [windows = m_platform.windowSystem.get()] { return windows->compositing(); });
            return view;
        });
    m_panelController->setTools(m_platform.simulatorTool.get(), m_platform.elementTool.get());
    // A project remembers the window its panel follows.
    m_panelController->setProject(m_bridge.project());
    connect(&m_bridge, &BridgeProcess::projectChanged, m_panelController.get(),
            [this] { m_panelController->setProject(m_bridge.project()); });
    connect(m_panelController.get(), &SimulatorPanelController::targetChanged, this,
            [this] { m_followSimulator->setChecked(!m_panelController->target()); });
    m_followSimulator->setChecked(!m_panelController->target());
}

void TallyrigApp::followSimulator() {
    if (!m_panelController && !std::exchange(m_desktopAsked, true)) {
        platform::addDesktopPorts(m_platform);
        if (m_platform.targeting && m_platform.windowSystem)
            makePanelController();
    }
    if (m_panelController)
        m_panelController->start();
}

void TallyrigApp::showAbout() {
    // Not exec(): a nested event loop under a window that deletes itself on close.
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Tallyrig"),
                        QStringLiteral("<b>Tallyrig %1</b><p>Point at a UI problem, describe the fix, "
                                       "and your local agent makes it.</p>")
                            .arg(QCoreApplication::applicationVersion()),
                        QMessageBox::Ok, activeWindow());
    box->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QWidget* TallyrigApp::activeWindow() const {
    return QApplication::activeWindow();
}

void TallyrigApp::raiseMainWindow() {
    m_windows.removeAll(nullptr);
    QMainWindow* window = m_windows.isEmpty() ? newWindow() : m_windows.first().data();
    window->show();
    window->raise();
    window->activateWindow();
}

QMainWindow* TallyrigApp::newWindow() {
    auto* window = new MainWindow(new BridgeWindow(m_settings, m_bridge, m_notifications), m_dashboards);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Both after the window's first probe has left: a menu bar asks the session bus whether the
    // desktop shows menus itself, and the panel's ports connect to the display and the bus. The
    // panel's loop starts where a main window's content first shows; later shows change nothing.
    connect(window, &MainWindow::firstShowing, this, [this, window] {
        installMenus(window);
        followSimulator();
    });
    m_windows.removeAll(nullptr);
    m_windows.append(window);
    return window;
}

void TallyrigApp::installMenus(QMainWindow* window) {
    QMenuBar* bar = window->menuBar();
#ifdef Q_OS_MACOS
    QMenu* app = bar->addMenu(QStringLiteral("Tallyrig"));
    app->addAction(m_about);
    app->addAction(m_checkForUpdates);
    app->addAction(m_settingsAction);
    app->addAction(m_quit);
#else
    QMenu* app = bar->addMenu(QStringLiteral("&Tallyrig"));
    app->addAction(m_about);
    app->addAction(m_checkForUpdates);
    app->addSeparator();
    app->addAction(m_settingsAction);
    app->addSeparator();
    app->addAction(m_quit);
#endif
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(m_newWindow);
    file->addAction(m_closeWindow);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    if (auto* main = qobject_cast<MainWindow*>(window)) {
        view->addAction(main->showToolBarAction());
        view->addSeparator();
    }
    view->addAction(m_simulatorPanel);
#ifndef Q_OS_MACOS
    // Desktop windows to follow instead of the Simulator: one click, or from a list that keyboards
    // and screen readers reach.
    view->addSeparator();
    view->addAction(m_targetWindow);
    QMenu* windows = view->addMenu(QStringLiteral("Choose a Window"));
    connect(windows, &QMenu::aboutToShow, this, [this, windows] {
        windows->clear();
        const auto choices = m_panelController ? m_panelController->windowsToChoose()
                                               : std::vector<SimulatorPanelController::Choice>{};
        if (choices.empty())
            windows->addAction(QStringLiteral("No Other Windows"))->setEnabled(false);
        for (const SimulatorPanelController::Choice& choice : choices) {
            const QString title = choice.title.isEmpty()
                                      ? choice.application
                                      : choice.title + QStringLiteral(" \u2014 ") + choice.application;
            const quint32 number = choice.number;
            windows->addAction(title, this, [this, number] {
                if (m_panelController)
                    m_panelController->chooseWindow(number);
            });
        }
    });
    view->addAction(m_followSimulator);
#endif
}
