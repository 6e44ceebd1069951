#pragma once

#include "platform/WindowList.h"

#include <QPoint>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace platform::x11 {

// Our own connection to the X server, whatever Qt platform plugin the app runs on, with what the
// window manager publishes (EWMH) read as the targeting code needs it. Window properties are kept
// until the server reports a change of them; positions, sizes and visibility are read afresh on
// every call, all requests of a call sent before the first reply is awaited.
class XcbDesktop {
public:
    XcbDesktop(); // the display named by $DISPLAY
    ~XcbDesktop();
    XcbDesktop(const XcbDesktop&) = delete;
    XcbDesktop& operator=(const XcbDesktop&) = delete;

    // Why windows cannot be listed, for a developer; empty when they can.
    QString problem() const;

    // The managed windows on screen, front to back.
    std::optional<std::vector<WindowEntry>> onScreenWindows();
    // The class part of WM_CLASS of the process's top-level windows; none without such windows.
    std::optional<QString> applicationClass(qint32 pid);
    // The process has top-level windows and none of them is viewable and un-iconified.
    bool isHidden(qint32 pid);
    // Asks the window manager to activate and raise a top-level window of the process: the one
    // whose frame or client rectangle is `window`, or its front one. False when there is none.
    bool activate(qint32 pid, const std::optional<QRectF>& window);
    // The mouse position in root coordinates.
    std::optional<QPoint> pointer();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform::x11
