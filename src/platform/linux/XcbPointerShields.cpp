#include "platform/linux/XcbPointerShields.h"

#include <algorithm>

namespace platform::x11 {

namespace {

// The standard cursor font's crosshair glyph and its mask.
constexpr quint16 crosshairGlyph = 34;

} // namespace

class PointerShields::Shield final : public PointerShield {
public:
    Shield(PointerShields& shields, xcb_window_t window, PointerEvents events)
        : window(window), events(std::move(events)), m_shields(shields) {}
    ~Shield() override {
        m_shields.m_shields.removeAll(this);
        if (!m_shields.m_x->usable())
            return;
        xcb_destroy_window(m_shields.m_x->get(), window);
        xcb_flush(m_shields.m_x->get());
    }
    void setArea(const QRectF& area) override {
        const QRect device = m_shields.deviceArea(area);
        if (device == m_area)
            return;
        m_area = device;
        m_shields.configure(window, device);
    }

    xcb_window_t window;
    PointerEvents events;

private:
    PointerShields& m_shields;
    QRect m_area; // device pixels
};

PointerShields::PointerShields(std::shared_ptr<XcbConnection> connection) : m_x(std::move(connection)) {
    if (m_x->usable())
        m_listening = m_x->listen([this](const xcb_generic_event_t& event) { handle(event); });
}

PointerShields::~PointerShields() {
    if (m_cursor && m_x->usable()) {
        xcb_free_cursor(m_x->get(), m_cursor);
        xcb_flush(m_x->get());
    }
}

std::unique_ptr<PointerShield> PointerShields::shield(const QRectF& area, PointerEvents events) {
    if (!m_x->usable())
        return nullptr;
    xcb_connection_t* c = m_x->get();
    const xcb_window_t window = xcb_generate_id(c);
    const quint32 values[] = {
        1, XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_ENTER_WINDOW,
        crosshair()};
    xcb_create_window(c, 0, window, m_x->root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK | XCB_CW_CURSOR,
                      values);
    auto shield = std::make_unique<Shield>(*this, window, std::move(events));
    shield->setArea(area);
    xcb_map_window(c, window);
    xcb_flush(c);
    m_shields.append(shield.get());
    return shield;
}

xcb_cursor_t PointerShields::crosshair() {
    if (!m_cursor) {
        xcb_connection_t* c = m_x->get();
        const xcb_font_t font = xcb_generate_id(c);
        xcb_open_font(c, font, 6, "cursor");
        m_cursor = xcb_generate_id(c);
        xcb_create_glyph_cursor(c, m_cursor, font, font, crosshairGlyph, crosshairGlyph + 1, 0, 0, 0, 0xffff,
                                0xffff, 0xffff);
        xcb_close_font(c, font);
    }
    return m_cursor;
}

QRect PointerShields::deviceArea(const QRectF& area) const {
    const QRect device = m_pixels.toDevice(area);
    const auto bounded = [](int value, int low, int high) { return std::clamp(value, low, high); };
    return {bounded(device.x(), -32768, 32767), bounded(device.y(), -32768, 32767),
            bounded(device.width(), 1, 65535), bounded(device.height(), 1, 65535)};
}

void PointerShields::configure(xcb_window_t window, const QRect& area) {
    if (!m_x->usable())
        return;
    // The protocol carries positions as 16-bit signed values inside 32-bit fields.
    const quint32 values[] = {quint32(qint32(area.x())), quint32(qint32(area.y())), quint32(area.width()),
                              quint32(area.height())};
    xcb_configure_window(m_x->get(), window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(m_x->get());
}

void PointerShields::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    xcb_window_t target = XCB_NONE;
    QPointF at;
    std::function<void(QPointF)> PointerEvents::*action = nullptr;
    bool right = false;
    bool left = false;
    Qt::KeyboardModifiers held;
    if (type == XCB_MOTION_NOTIFY) {
        const auto& motion = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
        target = motion.event;
        at = QPointF(motion.root_x, motion.root_y);
        action = &PointerEvents::moved;
    } else if (type == XCB_ENTER_NOTIFY) {
        const auto& enter = reinterpret_cast<const xcb_enter_notify_event_t&>(event);
        target = enter.event;
        at = QPointF(enter.root_x, enter.root_y);
        action = &PointerEvents::moved;
    } else if (type == XCB_BUTTON_PRESS) {
        const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
        target = press.event;
        at = QPointF(press.root_x, press.root_y);
        left = press.detail == XCB_BUTTON_INDEX_1;
        right = press.detail == XCB_BUTTON_INDEX_3;
        // The state at the press: a key let go right after the click is already up when asked.
        const std::pair<quint16, Qt::KeyboardModifier> keys[] = {{XCB_MOD_MASK_SHIFT, Qt::ShiftModifier},
                                                                 {XCB_MOD_MASK_CONTROL, Qt::ControlModifier},
                                                                 {XCB_MOD_MASK_1, Qt::AltModifier},
                                                                 {XCB_MOD_MASK_4, Qt::MetaModifier}};
        for (const auto& [mask, modifier] : keys) {
            if (press.state & mask)
                held |= modifier;
        }
    } else {
        return;
    }
    const auto shield =
        std::find_if(m_shields.begin(), m_shields.end(), [&](Shield* s) { return s->window == target; });
    if (shield == m_shields.end())
        return;
    if (right) {
        if ((*shield)->events.rightPressed)
            (*shield)->events.rightPressed();
    } else if (left) {
        if ((*shield)->events.leftPressed)
            (*shield)->events.leftPressed(m_pixels.toLogical(at), held);
    } else if (action && ((*shield)->events.*action)) {
        ((*shield)->events.*action)(m_pixels.toLogical(at));
    }
}

} // namespace platform::x11
