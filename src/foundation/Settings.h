#pragma once

#include "foundation/BridgePort.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <optional>

// The stored settings. Values keep their JSON type on disk so that a stored text "5000" is never
// mistaken for a port; a value of the wrong type reads as the default.
class Settings : public QObject {
    Q_OBJECT
public:
    static constexpr const char* bridgePortKey = "bridgePort";
    static constexpr const char* simulatorPanelKey = "simulatorPanel";
    static constexpr const char* recentProjectsKey = "recentProjects";
    static constexpr const char* targetWindowsKey = "targetWindows";
    static constexpr int defaultBridgePort = int(BridgePort::defaultNumber);

    // `defaultPort` is what bridgePort() reads when no port of the right type is stored.
    explicit Settings(QString filePath, int defaultPort = defaultBridgePort, QObject* parent = nullptr);

    // Where the application keeps its settings: $XDG_CONFIG_HOME/Tallyrig/settings.json (default
    // ~/.config).
    static QString defaultFilePath();

    QString filePath() const { return m_filePath; }

    int bridgePort() const;
    void setBridgePort(int port);

    bool simulatorPanel() const;
    void setSimulatorPanel(bool wanted);

    // Empty unless a list made only of texts is stored.
    QStringList recentProjects() const;
    void setRecentProjects(const QStringList& paths);

    // The desktop window a project's panel follows instead of the Simulator, known by its
    // application's window class and program (empty when unknown); none for the Simulator.
    struct TargetWindow {
        QString windowClass;
        QString executable;
        bool operator==(const TargetWindow&) const = default;
    };
    std::optional<TargetWindow> targetWindow(const QString& project) const;
    void setTargetWindow(const QString& project, const std::optional<TargetWindow>& target);

signals:
    void bridgePortChanged(int port);
    void simulatorPanelChanged(bool wanted);
    void recentProjectsChanged(const QStringList& paths);

private:
    void load();
    void write(const char* key, nlohmann::json value);

    QString m_filePath;
    int m_defaultPort;
    nlohmann::json m_values = nlohmann::json::object();
    bool m_unreadableOnDisk = false;
};
