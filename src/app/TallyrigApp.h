#pragma once

#include "app/AppDelegate.h"
#include "bridge/BridgeProcess.h"
#include "foundation/AppNotifications.h"
#include "foundation/Bundle.h"
#include "foundation/Settings.h"
#include "platform/Platform.h"
#include "window/DashboardView.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <optional>

class QAction;
class QMainWindow;
class SimulatorPanelController;
class SimulatorPanelModel;

// The application: where its shared objects are made (the settings, the notifications, the
// platform's ports, the bridge process, the Simulator panel's model and controller) and handed to
// the windows, its menu commands, and its windows.
class TallyrigApp : public QObject {
    Q_OBJECT
public:
    // `bundle` is where the bridge runtime and the dashboard's module are found. Desktop ports that
    // `ports` lacks are made when the first window shows, after it has started its connection.
    explicit TallyrigApp(platform::Platform ports = platform::createPlatform(platform::DesktopPorts::Later),
                         std::optional<QString> bundle = Bundle::location(),
                         const QString& settingsFile = Settings::defaultFilePath());
    ~TallyrigApp() override;

    QMainWindow* newWindow();

    Settings& settings() { return m_settings; }
    AppNotifications& notifications() { return m_notifications; }
    BridgeProcess& bridge() { return m_bridge; }
    platform::Platform& ports() { return m_platform; }
    // Null where the platform cannot follow the Simulator, and until a window has shown when the
    // desktop's ports were left for later.
    SimulatorPanelController* panelController() const { return m_panelController.get(); }
    SimulatorPanelModel& panelModel() { return *m_panelModel; }

    QAction* checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction* settingsAction() const { return m_settingsAction; }
    QAction* simulatorPanelAction() const { return m_simulatorPanel; }
    QAction* targetWindowAction() const { return m_targetWindow; }
    QAction* followSimulatorAction() const { return m_followSimulator; }

private:
    void installMenus(QMainWindow* window);
    // The Simulator panel's controller, once the desktop's ports are there; then starts following.
    void followSimulator();
    void makePanelController();
    QWidget* activeWindow() const;
    void showAbout();
    // Activates the application with its first main window in front, a new one when none is open.
    void raiseMainWindow();

    platform::Platform m_platform;
    Settings m_settings;
    AppNotifications m_notifications;
    BridgeProcess m_bridge;
    AppDelegate m_appDelegate;
    DashboardFactory m_dashboards;
    QList<QPointer<QMainWindow>> m_windows;
    std::unique_ptr<SimulatorPanelModel> m_panelModel;
    // Goes before the model: its panel shows the model.
    std::unique_ptr<SimulatorPanelController> m_panelController;
    bool m_desktopAsked = false;

    QAction* m_about;
    QAction* m_checkForUpdates;
    QAction* m_settingsAction;
    QAction* m_quit;
    QAction* m_newWindow;
    QAction* m_closeWindow;
    QAction* m_simulatorPanel;
    QAction* m_targetWindow;
    QAction* m_followSimulator;
};
