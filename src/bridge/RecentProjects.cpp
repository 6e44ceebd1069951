#include "bridge/RecentProjects.h"

#include "bridge/ProjectPaths.h"
#include "foundation/Settings.h"

RecentProjects::RecentProjects(Settings& settings, QObject* parent) : QObject(parent), m_settings(settings) {
    const QStringList stored = m_settings.recentProjects();
    for (const QString& path : stored)
        m_folders.append(ProjectPaths::absolutePath(path));
}

void RecentProjects::setFolders(QStringList folders) {
    const bool changing = folders != m_folders;
    m_folders = std::move(folders);
    if (changing)
        emit changed();
    m_settings.setRecentProjects(m_folders);
}

void RecentProjects::remember(const QString& folder) {
    const QString path = ProjectPaths::absolutePath(folder);
    QStringList list = m_folders;
    list.removeAll(path);
    list = list.mid(0, limit - 1);
    list.prepend(path);
    setFolders(std::move(list));
}

void RecentProjects::forget(const QString& folder) {
    QStringList list = m_folders;
    list.removeAll(ProjectPaths::absolutePath(folder));
    setFolders(std::move(list));
}
