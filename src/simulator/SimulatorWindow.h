#pragma once

#include "platform/Accessibility.h"
#include "platform/Targeting.h"
#include "simulator/AX.h"
#include "simulator/Simctl.h"

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// A still picture of a device's screen, with the device it shows: what targeting on a canvas of
// ours shows, and what a report made there carries.
struct DeviceStill {
    Simctl::Device device;
    QByteArray png;
    QSizeF points; // the screen in device points
};

// The window the panel follows, as one look at the desktop found it: the Simulator's device window,
// or a desktop application's window the user chose.
struct SimulatorWindow {
    enum class Kind { Simulator, Window };
    // A desktop window's application: what a report names in place of a device.
    struct Application {
        QString name;
        std::optional<QString> executable;
        QString windowClass;
        double scale = 1; // device pixels per logical pixel where the window lies
        bool operator==(const Application&) const = default;
    };

    qint32 pid = 0;
    // Top-left global coordinates, title bar and device chrome included, as the window list has it.
    QRectF frame;
    // The accessibility title, or "Simulator" when access is not granted.
    QString title;
    std::optional<quint32> number;
    // Null when access is not granted.
    platform::AXElementRef axWindow;
    // The window without the window manager's frame, where the platform tells them apart.
    std::optional<QRectF> content = {};
    // The title the window list gives, where the accessibility tree gives none.
    std::optional<QString> listedTitle = {};
    // The picture a report of elements picked here is made of, taken as targeting started.
    std::shared_ptr<const DeviceStill> still = {};
    Kind kind = Kind::Simulator;
    std::optional<Application> application = {};

    // "iPhone 15 Pro – iOS 17.2": the text before the first " – ", or the whole title; the listed
    // title's when the tree gives none.
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
    // The same, with the element that is the screen; none when it cannot be told.
    struct Screen {
        platform::AXElementRef element;
        QRectF rect;
    };
    std::optional<Screen> screen() const;

    // Whether this application's window lies immediately in front of the Simulator's window among
    // the normal windows on screen.
    static bool isDirectlyAbove(platform::WindowList& windows, qint64 applicationWindow,
                                quint32 simulatorWindow);
};
