#pragma once

#include "app/AppDelegate.h"
#include "platform/Updater.h"

#include <QObject>

#include <memory>

class QAction;
class QMainWindow;

// The application: its delegate, its updater, the menu commands and the main windows.
class TallyrigApp : public QObject {
    Q_OBJECT
public:
    TallyrigApp();
    ~TallyrigApp() override;

    QMainWindow* newWindow();

    QAction* checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction* settingsAction() const { return m_settings; }
    QAction* simulatorPanelAction() const { return m_simulatorPanel; }

private:
    void installMenus(QMainWindow* window);
    QWidget* activeWindow() const;

    AppDelegate m_appDelegate;
    std::unique_ptr<Updater> m_updater;
    QAction* m_about;
    QAction* m_checkForUpdates;
    QAction* m_settings;
    QAction* m_quit;
    QAction* m_newWindow;
    QAction* m_closeWindow;
    QAction* m_simulatorPanel;
};
