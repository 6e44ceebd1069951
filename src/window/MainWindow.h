#pragma once

#include "window/BridgeWindow.h"
#include "window/ConnectView.h"
#include "window/DashboardView.h"

#include <QMainWindow>
#include <QPointer>

class ProjectMenu;
class QAction;
class QStackedLayout;
class QToolBar;

// One main window: the connect screen while disconnected, the dashboard once connected, and the
// toolbar over both.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize minimumContentSize{900, 650};
    static constexpr QSize initialSize{1280, 850};

    // Takes ownership of `model`; `dashboards` makes the dashboard whenever the window connects.
    MainWindow(BridgeWindow* model, DashboardFactory dashboards, QWidget* parent = nullptr);

    BridgeWindow& model() const { return *m_model; }
    // The face: none until the window is first shown.
    ConnectView* connectView() const { return m_connectView; }
    DashboardView* dashboard() const { return m_dashboard; }
    // None until the window is first shown.
    QToolBar* toolBar() const { return m_toolBar; }
    // Shows or hides the toolbar: the View menu's item.
    QAction* showToolBarAction() const { return m_showToolBarAction; }
    QAction* simulatorPanelAction() const { return m_panelAction; }
    QAction* settingsAction() const { return m_settingsAction; }
    QAction* disconnectAction() const { return m_disconnectAction; }
    // None until the window is first shown.
    ProjectMenu* projectMenu() const { return m_projectMenu; }
    QAction* projectMenuAction() const { return m_projectMenuAction; }

    // The folder chooser of "Open Project…": shown without a nested event loop, because the window
    // may close, and delete itself, while it is open.
    void chooseFolder(std::function<void(const QString&)> chosen);

    void setVisible(bool visible) override;

signals:
    // The first time the window is about to show, once its connection has started and its toolbar
    // is there: what the window needs only on screen is added then.
    void firstShowing();

private:
    void makeToolBarActions();
    void buildToolBar();
    void refreshToolBar();
    void showFace();
    void openRecent(const QString& folder);

    BridgeWindow* m_model;
    DashboardFactory m_dashboards;
    QWidget* m_content;
    QStackedLayout* m_faces;
    QPointer<ConnectView> m_connectView;
    QPointer<DashboardView> m_dashboard;
    QToolBar* m_toolBar = nullptr;
    QAction* m_panelAction = nullptr;
    QAction* m_settingsAction = nullptr;
    QAction* m_disconnectAction = nullptr;
    QAction* m_showToolBarAction = nullptr;
    ProjectMenu* m_projectMenu = nullptr;
    QAction* m_projectMenuAction = nullptr;
};
