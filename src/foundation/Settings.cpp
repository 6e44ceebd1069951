#include "foundation/Settings.h"

#include "foundation/JsonInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <limits>

Settings::Settings(QString filePath, int defaultPort, QObject* parent)
    : QObject(parent), m_filePath(std::move(filePath)), m_defaultPort(defaultPort) {
    load();
}

QString Settings::defaultFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Tallyrig/settings.json");
}

void Settings::load() {
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_unreadableOnDisk = true;
        return;
    }
    const QByteArray bytes = file.readAll();
    // Nesting too deep to be written back counts as unreadable, like any other bad text.
    JsonInput::Reading parsed = JsonInput::read(bytes);
    if (parsed.value.is_object())
        m_values = std::move(parsed.value);
    else
        m_unreadableOnDisk = !bytes.trimmed().isEmpty();
}

void Settings::write(const char* key, nlohmann::json value) {
    m_values[key] = std::move(value);

    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    // A file we could not read is kept aside rather than silently replaced.
    if (m_unreadableOnDisk) {
        const QString aside = m_filePath + QStringLiteral(".unreadable");
        QFile::remove(aside);
        QFile::rename(m_filePath, aside);
        m_unreadableOnDisk = false;
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning("Tallyrig: cannot write settings to %s", qPrintable(m_filePath));
        return;
    }
    const std::string text = m_values.dump(2) + "\n";
    file.write(text.data(), qint64(text.size()));
    if (!file.commit())
        qWarning("Tallyrig: cannot write settings to %s", qPrintable(m_filePath));
}

int Settings::bridgePort() const {
    const auto it = m_values.find(bridgePortKey);
    if (it == m_values.end() || !it->is_number_integer())
        return m_defaultPort;
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        return value <= std::uint64_t(std::numeric_limits<int>::max()) ? int(value) : m_defaultPort;
    }
    const auto value = it->get<std::int64_t>();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return m_defaultPort;
    return int(value);
}

void Settings::setBridgePort(int port) {
    const bool changed = port != bridgePort();
    write(bridgePortKey, port);
    if (changed)
        emit bridgePortChanged(port);
}

bool Settings::simulatorPanel() const {
    const auto it = m_values.find(simulatorPanelKey);
    return it == m_values.end() || !it->is_boolean() || it->get<bool>();
}

void Settings::setSimulatorPanel(bool wanted) {
    const bool changed = wanted != simulatorPanel();
    write(simulatorPanelKey, wanted);
    if (changed)
        emit simulatorPanelChanged(wanted);
}

QStringList Settings::recentProjects() const {
    const auto it = m_values.find(recentProjectsKey);
    if (it == m_values.end() || !it->is_array())
        return {};
    QStringList paths;
    for (const auto& entry : *it) {
        if (!entry.is_string())
            return {};
        paths.append(QString::fromStdString(entry.get<std::string>()));
    }
    return paths;
}

void Settings::setRecentProjects(const QStringList& paths) {
    const bool changed = paths != recentProjects();
    auto list = nlohmann::json::array();
    for (const QString& path : paths)
        list.push_back(path.toStdString());
    write(recentProjectsKey, std::move(list));
    if (changed)
        emit recentProjectsChanged(paths);
}

std::optional<Settings::TargetWindow> Settings::targetWindow(const QString& project) const {
    const auto all = m_values.find(targetWindowsKey);
    if (all == m_values.end() || !all->is_object())
        return std::nullopt;
    const auto entry = all->find(project.toStdString());
    if (entry == all->end() || !entry->is_object())
        return std::nullopt;
    const auto windowClass = entry->find("windowClass");
    const auto executable = entry->find("executable");
    if (windowClass == entry->end() || !windowClass->is_string() || windowClass->get<std::string>().empty())
        return std::nullopt;
    TargetWindow target{QString::fromStdString(windowClass->get<std::string>()), QString()};
    if (executable != entry->end() && executable->is_string())
        target.executable = QString::fromStdString(executable->get<std::string>());
    return target;
}

void Settings::setTargetWindow(const QString& project, const std::optional<TargetWindow>& target) {
    if (targetWindow(project) == target)
        return;
    const auto stored = m_values.find(targetWindowsKey);
    nlohmann::json all = stored != m_values.end() && stored->is_object() ? *stored : nlohmann::json::object();
    if (target)
        all[project.toStdString()] = {{"windowClass", target->windowClass.toStdString()},
                                      {"executable", target->executable.toStdString()}};
    else
        all.erase(project.toStdString());
    write(targetWindowsKey, std::move(all));
}
