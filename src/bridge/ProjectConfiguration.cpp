#include "bridge/ProjectConfiguration.h"

#include "bridge/ProjectPaths.h"
#include "foundation/JsonInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace ProjectConfiguration {

namespace {

QString entryIn(const QString& dir, const QString& name) {
    return dir == QLatin1String("/") ? dir + name : dir + QLatin1Char('/') + name;
}

// The integer a JSON value holds, when it holds one that fits.
std::optional<qint64> integer(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > std::uint64_t(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(number);
    }
    if (value.is_number_integer())
        return value.get<std::int64_t>();
    if (value.is_number_float()) {
        // 5000.0 is the integer 5000; 2^63 and beyond do not fit.
        const double number = value.get<double>();
        if (std::isfinite(number) && std::trunc(number) == number && number >= -9223372036854775808.0 &&
            number < 9223372036854775808.0)
            return qint64(number);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> find(const QString& folder) {
    QString dir = QDir::cleanPath(ProjectPaths::absolutePath(folder));
    while (true) {
        const QString candidate = entryIn(dir, fileName);
        if (ProjectPaths::entryExists(candidate))
            return candidate;
        if (ProjectPaths::entryExists(entryIn(dir, QStringLiteral(".git"))))
            return std::nullopt;
        if (dir == QLatin1String("/"))
            return std::nullopt;
        const qsizetype slash = dir.lastIndexOf(QLatin1Char('/'));
        dir = slash <= 0 ? QStringLiteral("/") : dir.left(slash);
    }
}

BridgePort port(const QString& folder) {
    const auto file = find(folder);
    // Only a regular file is read: a FIFO under that name would block the UI thread.
    if (!file || !QFileInfo(*file).isFile())
        return {};
    QFile reader(*file);
    if (!reader.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = reader.readAll();
    const JsonInput::Reading reading = JsonInput::read(bytes);
    const nlohmann::json& json = reading.value;
    if (!json.is_object())
        return {};
    const auto it = json.find("port");
    if (it == json.end())
        return {};
    return integer(*it).value_or(BridgePort::defaultNumber);
}

} // namespace ProjectConfiguration
