#pragma once

#include "platform/Accessibility.h"
#include "platform/SimulatorTool.h"
#include "simulator/ElementSource.h"
#include "simulator/Simctl.h"
#include "simulator/SimulatorWindow.h"

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

// How one round of targeting sees the followed window: where the device screen lies, where its
// elements come from and, where the window cannot show the screen in device points (a window
// without a tree, such as Device Hub's), the still picture of the device that targeting happens on.
struct TargetScreen {
    enum class Source { Window, Device, None };
    Source source = Source::None;
    std::shared_ptr<ElementSource> elements;
    // Top-left global coordinates, for the window as it was when targeting started.
    QRectF screen;
    // The picture the report is made of, taken as targeting started; the picks carry it. With
    // `canvas`, it is also what targeting shows, fitted over the window.
    std::shared_ptr<const DeviceStill> still;
    bool canvas = false;
    // Why no element can be read, in words for the panel's error line.
    std::optional<QString> problem;
    // A device that keeps its own accessibility off: turning it on would give its elements.
    std::optional<Simctl::Device> bare;

    // Where the screen lies for a newer look at the same window.
    QRectF screenIn(const SimulatorWindow& window) const;
};

namespace TargetScreens {

// A picture `points` large fitted into `area`: as large as fits, centred.
QRectF fit(const QSizeF& points, const QRectF& area);

// The window's own tree, whatever it shows: on its screen, or over the whole window.
TargetScreen live(platform::Accessibility& accessibility, const SimulatorWindow& window);

// The window's own tree, decided at once, when it shows the device screen with elements on it, or
// the window is a desktop window. None when the device itself must be asked.
std::optional<TargetScreen> fromWindow(const SimulatorWindow& window, platform::Accessibility& accessibility);

// The simulator's own tree, through the element tool (null: none installed), in device points:
// laid on the screen the window's tree shows (`screen`), or else on a canvas of the device's
// screenshot fitted over the window. What cannot be had falls back to picks with no element, with
// the reason in `problem`. The tools must outlive the task.
QCoro::Task<TargetScreen> fromDevice(SimulatorWindow window, std::optional<QRectF> screen,
                                     platform::SimulatorTool& simulators,
                                     platform::SimulatorTool* elementTool);

// The element tool's arguments for a device's tree.
QStringList describeArguments(const QString& udid);

} // namespace TargetScreens
