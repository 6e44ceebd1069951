#include "simulator/Simctl.h"

#include "foundation/JsonInput.h"
#include "foundation/PanelError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QUuid>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace Simctl {

QCoro::Task<QByteArray> run(platform::SimulatorTool& tool, QStringList arguments) {
    const QString first = arguments.isEmpty() ? QString() : arguments.constFirst();
    arguments.prepend(QStringLiteral("simctl"));
    const platform::ToolRun outcome = co_await tool.run(arguments);
    if (outcome.launchError)
        throw Failure(*outcome.launchError);
    if (outcome.exitStatus != 0)
        throw PanelError(QStringLiteral("simctl ") + first + QStringLiteral(" failed"));
    co_return outcome.output;
}

QList<Device> bootedDevices(const QByteArray& listing) {
    const JsonInput::Reading reading = JsonInput::read(listing);
    if (!reading)
        throw Failure(JsonInput::describe(reading, QStringLiteral("The simulator tool\u2019s device list")));
    const nlohmann::json& json = reading.value;
    QList<Device> booted;
    if (!json.is_object())
        return booted;
    const auto devices = json.find("devices");
    if (devices == json.end() || !devices->is_object())
        return booted;
    // Every group must be an array of objects, or the listing is not one we understand.
    for (const auto& [runtime, group] : devices->items()) {
        if (!group.is_array() ||
            !std::all_of(group.begin(), group.end(), [](const auto& e) { return e.is_object(); }))
            return booted;
    }
    for (const auto& [runtime, group] : devices->items()) {
        for (const auto& entry : group) {
            const auto state = entry.find("state");
            const auto udid = entry.find("udid");
            const auto name = entry.find("name");
            if (state == entry.end() || !state->is_string() || state->get<std::string>() != "Booted")
                continue;
            if (udid == entry.end() || !udid->is_string() || name == entry.end() || !name->is_string())
                continue;
            booted.append({QString::fromStdString(udid->get<std::string>()),
                           QString::fromStdString(name->get<std::string>()),
                           QString::fromStdString(runtime)});
        }
    }
    return booted;
}

Device choose(const QList<Device>& booted, const QString& name, const std::optional<QString>& runtime) {
    QList<Device> candidates;
    std::copy_if(booted.begin(), booted.end(), std::back_inserter(candidates),
                 [&](const Device& d) { return d.name == name; });
    if (!candidates.isEmpty()) {
        if (runtime) {
            QString wanted = *runtime;
            wanted.replace(QLatin1Char(' '), QLatin1Char('-')).replace(QLatin1Char('.'), QLatin1Char('-'));
            for (const Device& candidate : std::as_const(candidates)) {
                if (candidate.runtime.endsWith(wanted))
                    return candidate;
            }
        }
        return candidates.constFirst();
    }
    if (booted.size() == 1)
        return booted.constFirst();
    if (booted.isEmpty())
        throw PanelError(QStringLiteral("No booted simulator"));
    throw PanelError(QStringLiteral("Can\u2019t tell which booted simulator is \u201c") + name +
                     QStringLiteral("\u201d"));
}

QCoro::Task<Device> device(platform::SimulatorTool& tool, QString name, std::optional<QString> runtime) {
    // Built outside the co_await: GCC 12 miscompiles a braced list of literals there.
    const QStringList arguments{QStringLiteral("list"), QStringLiteral("devices"), QStringLiteral("booted"),
                                QStringLiteral("-j")};
    const QByteArray listing = co_await run(tool, arguments);
    co_return choose(bootedDevices(listing), name, runtime);
}

QCoro::Task<QByteArray> screenshot(platform::SimulatorTool& tool, QString udid) {
    const QString path = QDir::temp().filePath(QStringLiteral("tallyrig-") +
                                               QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                               QStringLiteral(".png"));
    // Removed on every way out, whatever the tool or the read did.
    struct Remove {
        QString path;
        ~Remove() { QFile::remove(path); }
    } remove{path};

    const QStringList arguments{QStringLiteral("io"), udid, QStringLiteral("screenshot"),
                                QStringLiteral("--type=png"), path};
    co_await run(tool, arguments);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
    co_return file.readAll();
}

std::optional<QSize> pixelSize(const QByteArray& png) {
    QBuffer buffer;
    buffer.setData(png);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer, "png");
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid() || size.isEmpty())
        return std::nullopt;
    return size;
}

} // namespace Simctl

DeviceMapping::DeviceMapping(const QRectF& screen, const QSizeF& pixels, const QString& deviceName)
    : screen(screen) {
    const double scale =
        (std::min(pixels.width(), pixels.height()) <= 828 || deviceName.contains(QStringLiteral("iPad"))) ? 2
                                                                                                          : 3;
    // std::round takes halves away from zero.
    size = QSizeF(std::round(pixels.width() / scale), std::round(pixels.height() / scale));
    factor = size.width() / screen.width();
}

DeviceMapping::DeviceMapping(const QRectF& screen, const QSizeF& points)
    : screen(screen), factor(points.width() / screen.width()), size(points) {}
