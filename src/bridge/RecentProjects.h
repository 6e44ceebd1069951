#pragma once

#include <QObject>
#include <QStringList>

class Settings;

// The project folders the user opened, most recent first, kept in the settings between runs.
class RecentProjects : public QObject {
    Q_OBJECT
public:
    static constexpr int limit = 8;

    // Reads the stored list once, whole, however long it is.
    explicit RecentProjects(Settings& settings, QObject* parent = nullptr);

    QStringList folders() const { return m_folders; } // absolute paths

    // Puts the folder first, keeping at most `limit` entries, and stores the list.
    void remember(const QString& folder);
    // Takes the folder out and stores the list, even when it was not in it.
    void forget(const QString& folder);

signals:
    void changed();

private:
    void setFolders(QStringList folders);

    Settings& m_settings;
    QStringList m_folders;
};
