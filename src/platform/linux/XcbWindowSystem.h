#pragma once

#include "platform/WindowSystem.h"
#include "platform/linux/DevicePixels.h"
#include "platform/linux/XcbConnection.h"
#include "platform/linux/XcbEscapeKeys.h"
#include "platform/linux/XcbPointerShields.h"

#include <initializer_list>

namespace platform::x11 {

// The window system's part of targeting on X11, through the window manager's hints (EWMH, ICCCM).
class XcbWindowSystem final : public WindowSystem {
public:
    explicit XcbWindowSystem(std::shared_ptr<XcbConnection> connection);

    bool compositing() override;
    quint32 number(QWindow& window) override;
    void setAuxiliary(QWindow& window) override;
    void setAcceptsFocus(QWindow& window, bool accepts) override;
    void orderAbove(QWindow& window, quint32 other) override;
    void restore(QWindow& window) override;
    void showOverlay(QWindow& window) override;
    void activate(QWindow& window) override;
    std::unique_ptr<Watch> watchEscape(std::function<void()> escape) override;
    // XInput 2 hears every key without asking.
    bool escapeNeedsTrust() override { return false; }
    std::unique_ptr<PointerShield> shieldPointer(const QRectF& area, PointerEvents events) override;
    std::optional<QPointF> pointer() override;
    QByteArray picture(quint32 window) override;
    QString describe(QWindow& window) override;

private:
    bool windowManagerSupports(xcb_atom_t feature);
    // A client message about `window` to the window manager, as EWMH has them sent to the root.
    void askWindowManager(xcb_window_t window, xcb_atom_t type, std::initializer_list<quint32> data);

    std::shared_ptr<XcbConnection> m_x;
    DevicePixels m_pixels;
    EscapeKeys m_escapeKeys;
    PointerShields m_shields;
    xcb_atom_t m_compositorSelection = XCB_ATOM_NONE;
    xcb_atom_t m_supported = XCB_ATOM_NONE;
    xcb_atom_t m_restack = XCB_ATOM_NONE;
    xcb_atom_t m_activeWindow = XCB_ATOM_NONE;
    xcb_atom_t m_state = XCB_ATOM_NONE;
    xcb_atom_t m_skipTaskbar = XCB_ATOM_NONE;
    xcb_atom_t m_skipPager = XCB_ATOM_NONE;
};

} // namespace platform::x11
