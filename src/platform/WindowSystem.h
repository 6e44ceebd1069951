#pragma once

#include <QRect>

#include <functional>
#include <memory>

namespace platform {

// Something the window system keeps doing for us until this handle is destroyed.
class Watch {
public:
    virtual ~Watch() = default;
};

// What an invisible pointer shield reports; the position is read from the pointer, not the event.
struct PointerEvents {
    std::function<void()> moved;
    std::function<void()> leftPressed;
    std::function<void()> rightPressed;
};

// An invisible window that takes every pointer event over an area, with a crosshair cursor, so that
// a window drawn over another application's window can catch clicks where it draws nothing.
class PointerShield : public Watch {
public:
    // Top-left global coordinates, device pixels.
    virtual void setArea(const QRect& area) = 0;
};

// What the targeting windows need of the window system beyond what the toolkit expresses. Window
// numbers are the window system's own (X11 window ids on Linux).
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Whether translucent windows blend with what lies behind them (a compositing manager runs).
    virtual bool compositing() = 0;
    // Keeps one of our windows out of task bars and pagers; called before each show.
    virtual void setAuxiliary(quint32 window) = 0;
    // Whether the window manager may give one of our windows the keyboard (when it is clicked or
    // activated). Takes effect before any later request of ours reaches the window manager.
    virtual void setAcceptsFocus(quint32 window, bool accepts) = 0;
    // Orders one of our windows directly above another application's window, activating neither.
    virtual void orderAbove(quint32 window, quint32 other) = 0;
    // Calls `escape` on every press of the Escape key, whichever application has the keyboard; the
    // key still reaches that application. Null when the system offers no such watch.
    virtual std::unique_ptr<Watch> watchEscape(std::function<void()> escape) = 0;
    // A shield over `area`, in front of every window. Null when the system has none.
    virtual std::unique_ptr<PointerShield> shieldPointer(const QRect& area, PointerEvents events) = 0;
};

// Never null; on a desktop it cannot reach, nothing happens and every watch is null.
std::unique_ptr<WindowSystem> createWindowSystem();

} // namespace platform
