#include "window/ProjectMenu.h"

#include "bridge/ProjectPaths.h"
#include "foundation/AccessibleButton.h"
#include "foundation/Style.h"

#include <QFileInfo>
#include <QMenu>

ProjectMenu::ProjectMenu(BridgeProcess& bridge, std::function<void()> openProject,
                         std::function<void(const QString&)> openRecent, std::function<void()> stop,
                         QWidget* parent)
    : QToolButton(parent), m_bridge(bridge), m_openProject(std::move(openProject)),
      m_openRecent(std::move(openRecent)), m_stop(std::move(stop)), m_menu(new QMenu(this)) {
    setPopupMode(QToolButton::InstantPopup);
    // Qt's own interface offers to show the menu and then does not, for a menu that pops up at once.
    AccessibleButton::clickOnAction(this);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIcon(Style::symbol(QStringLiteral("folder")));
    setMenu(m_menu);
    // Built when it opens: an item's own action may change the list, and must not be deleted mid-trigger.
    connect(m_menu, &QMenu::aboutToShow, this, &ProjectMenu::rebuildMenu);
    connect(&m_bridge, &BridgeProcess::projectChanged, this, &ProjectMenu::refresh);
    refresh();
}

QStringList ProjectMenu::filteredRecents(const QStringList& recents, const std::optional<QString>& project) {
    if (!project)
        return recents;
    const QString open = ProjectPaths::absolutePath(*project);
    QStringList kept;
    for (const QString& folder : recents)
        if (ProjectPaths::absolutePath(folder) != open)
            kept.append(folder);
    return kept;
}

void ProjectMenu::refresh() {
    const auto project = m_bridge.project();
    const QString title = project ? QFileInfo(*project).fileName() : QStringLiteral("Project");
    setText(title);
    setAccessibleName(title);
    setToolTip(QStringLiteral("Project: ") + (project ? *project : QStringLiteral("none")));
}

void ProjectMenu::rebuildMenu() {
    m_menu->clear();
    m_menu->addAction(QStringLiteral("Open Project\u2026"), this, [this] { m_openProject(); });
    const QStringList recents = filteredRecents(m_bridge.recents(), m_bridge.project());
    if (!recents.isEmpty()) {
        m_menu->addSection(QStringLiteral("Recent"));
        for (const QString& folder : recents) {
            QAction* item = m_menu->addAction(QFileInfo(folder).fileName(), this,
                                              [this, folder] { m_openRecent(folder); });
            item->setData(folder);
        }
    }
    m_menu->addSeparator();
    const bool adopted = m_bridge.state().kind == BridgeProcess::State::Kind::External;
    m_menu->addAction(adopted ? QStringLiteral("Disconnect (started from the command line)")
                              : QStringLiteral("Stop Bridge"),
                      this, [this] { m_stop(); });
}
