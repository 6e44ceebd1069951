#pragma once

#include "platform/WindowList.h"

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::x11 {

class XcbConnection;

// The managed windows of the X display and what the window manager publishes of them (EWMH), read
// as the targeting code needs them, in device pixels. What is read is kept until the server
// reports a change to it, so looking at a desktop where nothing moves costs no request; every
// request of a look is sent before its first reply is awaited.
class XcbDesktop {
public:
    explicit XcbDesktop(std::shared_ptr<XcbConnection> connection);
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
    // The window's title: _NET_WM_NAME, else WM_NAME; none without one.
    std::optional<QString> title(quint32 window);
    // The process's windows on screen, front to back, each as its client rectangle and, where the
    // toolkit draws shadows around its content (_GTK_FRAME_EXTENTS), the content before it.
    std::vector<QRect> contents(qint32 pid);
    // The mouse position in root coordinates.
    std::optional<QPoint> pointer();
    // Calls `changed` on a later turn of the event loop after the server reported anything that can
    // change the window list; false when the display cannot be watched.
    bool watchChanges(std::function<void()> changed);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform::x11
