#pragma once

#include "bridge/BridgeProcess.h"

#include <QToolButton>

#include <functional>

class QMenu;

// The toolbar's project menu: the open project's name, opening another, switching to a recent
// one, and stopping (or leaving) the bridge.
class ProjectMenu : public QToolButton {
    Q_OBJECT
public:
    ProjectMenu(BridgeProcess& bridge, std::function<void()> openProject,
                std::function<void(const QString&)> openRecent, std::function<void()> stop,
                QWidget* parent = nullptr);

    // The recents without the open project.
    static QStringList filteredRecents(const QStringList& recents, const std::optional<QString>& project);

private:
    void refresh();
    void rebuildMenu();

    BridgeProcess& m_bridge;
    std::function<void()> m_openProject;
    std::function<void(const QString&)> m_openRecent;
    std::function<void()> m_stop;
    QMenu* m_menu;
};
