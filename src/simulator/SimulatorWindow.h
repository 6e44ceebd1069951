#pragma once

#include "platform/Accessibility.h"
#include "platform/Targeting.h"
#include "simulator/AX.h"

#include <QRectF>
#include <QString>

#include <chrono>
#include <optional>

// The Simulator's device window, as one look at the desktop found it.
struct SimulatorWindow {
    qint32 pid = 0;
    // Top-left global coordinates, title bar and device chrome included, as the window list has it.
    QRectF frame;
    // The accessibility title, or "Simulator" when access is not granted.
    QString title;
    std::optional<quint32> number;
    // Null when access is not granted.
    platform::AXElementRef axWindow;

    // "iPhone 15 Pro – iOS 17.2": the text before the first " – ", or the whole title.
    QString deviceName() const;
    // The text between the first and second " – "; none when the title has no separator.
    std::optional<QString> runtime() const;

    // The Simulator's front device window; none when there is no Simulator, it is hidden, or the
    // accessibility tree describes its windows and none of them is a device window. Without access,
    // or with a tree that describes none of its windows, its front window titled "Simulator".
    // Each accessibility read waits at most `timeout`.
    static std::optional<SimulatorWindow> front(const platform::TargetingPorts& ports,
                                                std::chrono::milliseconds timeout = AX::messagingTimeout);

    // The device screen inside this window, top-left global coordinates; none when it cannot be
    // told (callers use `frame` then).
    std::optional<QRectF> screenRect() const;

    // Whether this application's window lies immediately in front of the Simulator's window among
    // the normal windows on screen.
    static bool isDirectlyAbove(platform::WindowList& windows, qint64 applicationWindow,
                                quint32 simulatorWindow);
};
