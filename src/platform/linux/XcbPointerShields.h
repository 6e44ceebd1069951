#pragma once

#include "platform/WindowSystem.h"
#include "platform/linux/DevicePixels.h"
#include "platform/linux/XcbConnection.h"

#include <QList>

#include <memory>

namespace platform::x11 {

// Invisible input-only windows in front of every window, each reporting the pointer over it.
class PointerShields {
public:
    explicit PointerShields(std::shared_ptr<XcbConnection> connection);
    ~PointerShields();

    std::unique_ptr<PointerShield> shield(const QRectF& area, PointerEvents events);

private:
    class Shield;
    xcb_cursor_t crosshair();
    // The device pixels a window over `area` covers, within what X11 can place.
    QRect deviceArea(const QRectF& area) const;
    void configure(xcb_window_t window, const QRect& area);
    void handle(const xcb_generic_event_t& event);

    std::shared_ptr<XcbConnection> m_x;
    std::shared_ptr<void> m_listening;
    DevicePixels m_pixels;
    xcb_cursor_t m_cursor = XCB_NONE;
    QList<Shield*> m_shields;
};

} // namespace platform::x11
