#pragma once

#include "platform/SimulatorTool.h"

#include <QByteArray>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>

#include <optional>

// The simulator control tool, `xcrun simctl`. Every operation throws PanelError with a message for
// the user, or Failure with the platform's own description (launch, file read) or ours (a listing
// that isn't JSON).
// The tool must outlive the returned task.
namespace Simctl {

struct Device {
    QString udid;
    QString name;
    QString runtime; // the key of the runtime group the tool listed it under
    bool operator==(const Device&) const = default;
};

// Runs "simctl" + arguments; the tool's standard output.
QCoro::Task<QByteArray> run(platform::SimulatorTool& tool, QStringList arguments);

// The booted device that shows a window of this device name and runtime ("iOS 17.2").
QCoro::Task<Device> device(platform::SimulatorTool& tool, QString name, std::optional<QString> runtime);

// The device's screen as PNG bytes.
QCoro::Task<QByteArray> screenshot(platform::SimulatorTool& tool, QString udid);

// The pixel size of PNG bytes, read from the image's header; none when they are not a PNG image.
std::optional<QSize> pixelSize(const QByteArray& png);

// The booted devices of a listing, in the tool's order; an unexpected shape lists none. Throws
// Failure when the text is not JSON.
QList<Device> bootedDevices(const QByteArray& listing);

// The device to use among the booted ones; throws PanelError when none or several could be meant.
Device choose(const QList<Device>& booted, const QString& name, const std::optional<QString>& runtime);

} // namespace Simctl

// How the device screen on the desktop relates to the device's own points.
struct DeviceMapping {
    QRectF screen; // desktop points, top-left global coordinates
    double factor; // device points per desktop point
    QSizeF size;   // the device screen in device points

    DeviceMapping(const QRectF& screen, const QSizeF& pixels, const QString& deviceName);
    // A screen whose size in device points is known.
    DeviceMapping(const QRectF& screen, const QSizeF& points);
};
