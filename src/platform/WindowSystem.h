#pragma once

#include <QByteArray>
#include <QPointF>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWindow;

namespace platform {

// Something the window system keeps doing for us until this handle is destroyed.
class Watch {
public:
    virtual ~Watch() = default;
};

// What an invisible pointer shield reports, with the pointer's position in top-left global
// coordinates.
struct PointerEvents {
    std::function<void(QPointF)> moved;
    // With the keys held at the press (Shift to pin one more element), as the press itself tells.
    std::function<void(QPointF, Qt::KeyboardModifiers)> leftPressed;
    std::function<void()> rightPressed;
};

// An invisible window that takes every pointer event over an area, with a crosshair cursor, so that
// a window drawn over another application's window can catch clicks where it draws nothing: where
// windows do not blend with what lies behind them (X11 without a compositing manager), a window that
// takes the pointer can draw nothing but opaque pixels.
class PointerShield : public Watch {
public:
    // Top-left global coordinates.
    virtual void setArea(const QRectF& area) = 0;
};

// What the targeting windows need of the window system beyond what the toolkit expresses. Our own
// windows are the toolkit's; other applications' windows go by the numbers of the window list.
// Positions are desktop points, the toolkit's logical pixels.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Whether translucent windows blend with what lies behind them (a compositing manager runs).
    virtual bool compositing() = 0;
    // The number the window list gives one of our windows (it exists natively once shown).
    virtual quint32 number(QWindow& window) = 0;
    // Keeps one of our windows out of task bars and pagers; called before each show.
    virtual void setAuxiliary(QWindow& window) = 0;
    // Whether the window manager may give one of our windows the keyboard (when it is clicked or
    // activated). Takes effect before any later request of ours reaches the window manager.
    virtual void setAcceptsFocus(QWindow& window, bool accepts) = 0;
    // Orders one of our windows directly above another application's window, activating neither.
    virtual void orderAbove(QWindow& window, quint32 other) = 0;
    // Puts one of our windows back on screen that something else iconified or took off it, without
    // activating it.
    virtual void restore(QWindow& window) = 0;
    // Brings one of our shown windows in front of every normal window, as an overlay over another
    // application's window: it takes the mouse there without making this application active.
    virtual void showOverlay(QWindow& window) = 0;
    // Gives one of our windows the keyboard and brings it to the front, as a click on it would: a
    // window manager that keeps applications from taking the focus on their own honours it.
    virtual void activate(QWindow& window) = 0;
    // Calls `escape` on every press of the Escape key, whichever application has the keyboard; the
    // key still reaches that application. Null when the system offers no such watch.
    virtual std::unique_ptr<Watch> watchEscape(std::function<void()> escape) = 0;
    // Whether the Escape watch hears other applications' keys only while this application has
    // accessibility access (macOS): without it, only keys pressed in our own windows.
    virtual bool escapeNeedsTrust() = 0;
    // A shield over `area`, in front of every window. Null when the system has none.
    virtual std::unique_ptr<PointerShield> shieldPointer(const QRectF& area, PointerEvents events) = 0;
    // Where the mouse is, to a fraction of a point on scaled screens; none when it cannot be read.
    virtual std::optional<QPointF> pointer() = 0;
    // How one of our windows is made, in the window system's own terms, for a developer (its level,
    // style, type); empty where the system cannot tell.
    virtual QString describe(QWindow& window) {
        (void)window;
        return {};
    }
    // Another application's window as it shows now, its content without the window manager's frame,
    // in the screen's own pixels, as PNG; empty where the system cannot tell.
    virtual QByteArray picture(quint32 window) {
        (void)window;
        return {};
    }
};

// On a desktop it cannot reach, nothing happens and every watch is null. Null where the platform has
// no adapter yet.
std::unique_ptr<WindowSystem> createWindowSystem();

} // namespace platform
