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

// The application: where its shared objects are made (the settings, the notifications, the
// platform's ports, the bridge process) and handed to the windows, its menu commands, and its
// windows.
class TallyrigApp : public QObject {
    Q_OBJECT
public:
    // `bundle` is where the bridge runtime and the dashboard's module are found.
    explicit TallyrigApp(Platform platform = Platform::create(),
                         std::optional<QString> bundle = Bundle::location(),
                         const QString& settingsFile = Settings::defaultFilePath());
    ~TallyrigApp() override;

    QMainWindow* newWindow();

    Settings& settings() { return m_settings; }
    AppNotifications& notifications() { return m_notifications; }
    BridgeProcess& bridge() { return m_bridge; }
    Platform& platform() { return m_platform; }

    QAction* checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction* settingsAction() const { return m_settingsAction; }
    QAction* simulatorPanelAction() const { return m_simulatorPanel; }

private:
    void installMenus(QMainWindow* window);
    QWidget* activeWindow() const;
    void showAbout();

    Platform m_platform;
    Settings m_settings;
    AppNotifications m_notifications;
    BridgeProcess m_bridge;
    AppDelegate m_appDelegate;
    DashboardFactory m_dashboards;
    QList<QPointer<QMainWindow>> m_windows;

    QAction* m_about;
    QAction* m_checkForUpdates;
    QAction* m_settingsAction;
    QAction* m_quit;
    QAction* m_newWindow;
    QAction* m_closeWindow;
    QAction* m_simulatorPanel;
};
