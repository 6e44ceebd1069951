#pragma once

#include "bridge/BridgeProcess.h"
#include "foundation/CommonWidgets.h"

#include <functional>

class QVBoxLayout;

// Opening a repository: the button, the bridge's progress or failure, and the recent projects.
class ProjectSection : public Card {
    Q_OBJECT
public:
    ProjectSection(BridgeProcess& bridge, std::function<void()> openProject,
                   std::function<void(const QString&)> openRecent, QWidget* parent = nullptr);

private:
    void rebuildState();
    void rebuildRecents();

    BridgeProcess& m_bridge;
    std::function<void(const QString&)> m_openRecent;
    QVBoxLayout* m_stateBox;
    QWidget* m_recents;
};
