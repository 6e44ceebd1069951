#include "platform/WindowSystem.h"
#include "platform/linux/XcbReply.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace platform {
namespace {

constexpr quint32 escapeKeysym = 0xff1b;
// The standard cursor font's crosshair glyph and its mask.
constexpr quint16 crosshairGlyph = 34;
// _NET_RESTACK_WINDOW's source indication for a pager-like tool, which window managers obey.
constexpr quint32 pagerSource = 2;
// WM_HINTS: nine 32-bit fields; the flag that says the input field is set.
constexpr quint32 hintsLength = 9;
constexpr quint32 inputHint = 1;

using x11::own;
using x11::Reply;

class XcbWindowSystem;

class XcbEscapeWatch final : public Watch {
public:
    XcbEscapeWatch(XcbWindowSystem& system, std::function<void()> escape);
    ~XcbEscapeWatch() override;
    std::function<void()> escape;

private:
    XcbWindowSystem& m_system;
};

class XcbPointerShield final : public PointerShield {
public:
    XcbPointerShield(XcbWindowSystem& system, xcb_window_t window, PointerEvents events);
    ~XcbPointerShield() override;
    void setArea(const QRect& area) override;

    xcb_window_t window;
    PointerEvents events;

private:
    XcbWindowSystem& m_system;
    QRect m_area;
};

// One connection of our own to the X server, whatever platform plugin Qt runs on; its events are
// read on the UI thread as they arrive.
class XcbWindowSystem final : public WindowSystem {
public:
    XcbWindowSystem() {
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (!screens.rem)
            return;
        m_root = screens.data->root;
        m_usable = true;

        const QByteArray compositor = "_NET_WM_CM_S" + QByteArray::number(screenNumber);
        m_compositorSelection = atom(compositor);
        m_supported = atom("_NET_SUPPORTED");
        m_restack = atom("_NET_RESTACK_WINDOW");
        m_state = atom("_NET_WM_STATE");
        m_skipTaskbar = atom("_NET_WM_STATE_SKIP_TASKBAR");
        m_skipPager = atom("_NET_WM_STATE_SKIP_PAGER");

        if (const xcb_query_extension_reply_t* input = xcb_get_extension_data(m_connection, &xcb_input_id);
            input && input->present) {
            auto version = own(xcb_input_xi_query_version_reply(
                m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr));
            if (version && version->major_version >= 2) {
                m_inputOpcode = input->major_opcode;
                m_rawKeys = true;
            }
        }

        m_notifier =
            std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &m_context, [this] { drain(); });
    }

    ~XcbWindowSystem() override {
        m_notifier.reset();
        if (m_cursor)
            xcb_free_cursor(m_connection, m_cursor);
        xcb_disconnect(m_connection);
    }

    bool compositing() override {
        if (!m_usable)
            return false;
        auto owner = own(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_compositorSelection), nullptr));
        scheduleDrain();
        return owner && owner->owner != XCB_NONE;
    }

    void setAuxiliary(quint32 window) override {
        if (!m_usable)
            return;
        auto current = own(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, m_state, XCB_ATOM_ATOM, 0, 64), nullptr));
        std::vector<xcb_atom_t> states;
        if (current && current->format == 32) {
            const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.get()));
            states.assign(atoms, atoms + xcb_get_property_value_length(current.get()) / 4);
        }
        bool changed = false;
        for (xcb_atom_t wanted : {m_skipTaskbar, m_skipPager}) {
            if (std::find(states.begin(), states.end(), wanted) == states.end()) {
                states.push_back(wanted);
                changed = true;
            }
        }
        if (changed)
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, m_state, XCB_ATOM_ATOM, 32,
                                states.size(), states.data());
        xcb_flush(m_connection);
        scheduleDrain();
    }

    void setAcceptsFocus(quint32 window, bool accepts) override {
        if (!m_usable)
            return;
        // WM_HINTS as ICCCM lays it out: flags, input, initial state, icon pixmap, icon window, icon
        // position, icon mask, window group. Only the input field changes.
        auto current = own(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, hintsLength),
            nullptr));
        std::array<quint32, hintsLength> hints{};
        if (current && current->format == 32) {
            const int length = std::min(int(hintsLength), xcb_get_property_value_length(current.get()) / 4);
            const auto* values = static_cast<const quint32*>(xcb_get_property_value(current.get()));
            std::copy(values, values + length, hints.begin());
        }
        hints[0] |= inputHint;
        hints[1] = accepts ? 1 : 0;
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                            32, hintsLength, hints.data());
        // A round trip: the window manager hears of the change before anything the toolkit asks next.
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        scheduleDrain();
    }

    void orderAbove(quint32 window, quint32 other) override {
        if (!m_usable)
            return;
        if (windowManagerSupports(m_restack)) {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = window;
            message.type = m_restack;
            message.data.data32[0] = pagerSource;
            message.data.data32[1] = other;
            message.data.data32[2] = XCB_STACK_MODE_ABOVE;
            xcb_send_event(m_connection, 0, m_root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&message));
        } else {
            // Without a window manager both are children of the root and can be stacked directly.
            const quint32 values[] = {other, XCB_STACK_MODE_ABOVE};
            xcb_configure_window(m_connection, window,
                                 XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
        }
        xcb_flush(m_connection);
        scheduleDrain();
    }

    std::unique_ptr<Watch> watchEscape(std::function<void()> escape) override {
        if (!m_usable || !m_rawKeys)
            return nullptr;
        auto watch = std::make_unique<XcbEscapeWatch>(*this, std::move(escape));
        if (m_escapeWatches.isEmpty()) {
            refreshEscapeKeys();
            selectRawKeys(true);
        }
        m_escapeWatches.append(watch.get());
        return watch;
    }

    std::unique_ptr<PointerShield> shieldPointer(const QRect& area, PointerEvents events) override {
        if (!m_usable)
            return nullptr;
        const xcb_window_t window = xcb_generate_id(m_connection);
        const quint32 values[] = {
            1, XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_ENTER_WINDOW,
            crosshair()};
        xcb_create_window(m_connection, 0, window, m_root, area.x(), area.y(), std::max(1, area.width()),
                          std::max(1, area.height()), 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                          XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK | XCB_CW_CURSOR, values);
        xcb_map_window(m_connection, window);
        xcb_flush(m_connection);
        auto shield = std::make_unique<XcbPointerShield>(*this, window, std::move(events));
        shield->setArea(area);
        m_shields.append(shield.get());
        return shield;
    }

    // Called by the handles.
    void forget(XcbEscapeWatch* watch) {
        m_escapeWatches.removeAll(watch);
        if (m_escapeWatches.isEmpty())
            selectRawKeys(false);
    }
    void forget(XcbPointerShield* shield) {
        m_shields.removeAll(shield);
        xcb_destroy_window(m_connection, shield->window);
        xcb_flush(m_connection);
    }
    void configure(xcb_window_t window, const QRect& area) {
        const quint32 values[] = {quint32(area.x()), quint32(area.y()), quint32(std::max(1, area.width())),
                                  quint32(std::max(1, area.height()))};
        xcb_configure_window(m_connection, window,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const QByteArray& name) {
        auto answer = own(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, name.size(), name.constData()), nullptr));
        return answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    bool windowManagerSupports(xcb_atom_t feature) {
        auto answer = own(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, m_root, m_supported, XCB_ATOM_ATOM, 0, 1024),
            nullptr));
        if (!answer || answer->format != 32)
            return false;
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(answer.get()));
        const int count = xcb_get_property_value_length(answer.get()) / 4;
        return std::find(atoms, atoms + count, feature) != atoms + count;
    }

    xcb_cursor_t crosshair() {
        if (!m_cursor) {
            const xcb_font_t font = xcb_generate_id(m_connection);
            xcb_open_font(m_connection, font, 6, "cursor");
            m_cursor = xcb_generate_id(m_connection);
            xcb_create_glyph_cursor(m_connection, m_cursor, font, font, crosshairGlyph, crosshairGlyph + 1, 0,
                                    0, 0, 0xffff, 0xffff, 0xffff);
            xcb_close_font(m_connection, font);
        }
        return m_cursor;
    }

    void selectRawKeys(bool on) {
        struct {
            xcb_input_event_mask_t head;
            quint32 bits;
        } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, on ? quint32(XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS) : 0u};
        xcb_input_xi_select_events(m_connection, m_root, 1, &mask.head);
        xcb_flush(m_connection);
    }

    // The key codes that type Escape without a modifier; the keyboard's layout can change.
    void refreshEscapeKeys() {
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto mapping = own(xcb_get_keyboard_mapping_reply(
            m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count), nullptr));
        m_escapeKeys.clear();
        if (!mapping || !mapping->keysyms_per_keycode)
            return;
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        for (int i = 0; i < count; ++i) {
            if (keysyms[i * mapping->keysyms_per_keycode] == escapeKeysym)
                m_escapeKeys.append(quint8(setup->min_keycode + i));
        }
    }

    // Replies read events off the socket into the library's queue, where the notifier cannot see them.
    void scheduleDrain() {
        QTimer::singleShot(0, &m_context, [this] { drain(); });
    }

    void drain() {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
            const auto event = own(raw);
            handle(*event);
        }
    }

    void handle(const xcb_generic_event_t& event) {
        const quint8 type = event.response_type & 0x7f;
        if (type == XCB_GE_GENERIC) {
            const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
            if (m_rawKeys && generic.extension == m_inputOpcode &&
                generic.event_type == XCB_INPUT_RAW_KEY_PRESS) {
                const auto& key = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
                if (m_escapeKeys.contains(quint8(key.detail))) {
                    // A handler may end its own watch or another one.
                    const QList<XcbEscapeWatch*> watches = m_escapeWatches;
                    for (XcbEscapeWatch* watch : watches) {
                        if (m_escapeWatches.contains(watch) && watch->escape)
                            watch->escape();
                    }
                }
            }
            return;
        }
        if (type == XCB_MAPPING_NOTIFY) {
            if (!m_escapeWatches.isEmpty())
                refreshEscapeKeys();
            return;
        }
        xcb_window_t target = XCB_NONE;
        std::function<void()> PointerEvents::*action = nullptr;
        if (type == XCB_MOTION_NOTIFY) {
            target = reinterpret_cast<const xcb_motion_notify_event_t&>(event).event;
            action = &PointerEvents::moved;
        } else if (type == XCB_ENTER_NOTIFY) {
            target = reinterpret_cast<const xcb_enter_notify_event_t&>(event).event;
            action = &PointerEvents::moved;
        } else if (type == XCB_BUTTON_PRESS) {
            const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
            target = press.event;
            if (press.detail == XCB_BUTTON_INDEX_1)
                action = &PointerEvents::leftPressed;
            else if (press.detail == XCB_BUTTON_INDEX_3)
                action = &PointerEvents::rightPressed;
        }
        if (!action)
            return;
        const auto shield = std::find_if(m_shields.begin(), m_shields.end(),
                                         [&](XcbPointerShield* s) { return s->window == target; });
        if (shield != m_shields.end() && ((*shield)->events.*action))
            ((*shield)->events.*action)();
    }

    xcb_connection_t* m_connection = nullptr;
    bool m_usable = false;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_compositorSelection = XCB_ATOM_NONE;
    xcb_atom_t m_supported = XCB_ATOM_NONE;
    xcb_atom_t m_restack = XCB_ATOM_NONE;
    xcb_atom_t m_state = XCB_ATOM_NONE;
    xcb_atom_t m_skipTaskbar = XCB_ATOM_NONE;
    xcb_atom_t m_skipPager = XCB_ATOM_NONE;
    bool m_rawKeys = false;
    quint8 m_inputOpcode = 0;
    xcb_cursor_t m_cursor = XCB_NONE;
    QList<quint8> m_escapeKeys;
    QList<XcbEscapeWatch*> m_escapeWatches;
    QList<XcbPointerShield*> m_shields;
    QObject m_context;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

XcbEscapeWatch::XcbEscapeWatch(XcbWindowSystem& system, std::function<void()> escape)
    : escape(std::move(escape)), m_system(system) {}

XcbEscapeWatch::~XcbEscapeWatch() {
    m_system.forget(this);
}

XcbPointerShield::XcbPointerShield(XcbWindowSystem& system, xcb_window_t window, PointerEvents events)
    : window(window), events(std::move(events)), m_system(system) {}

XcbPointerShield::~XcbPointerShield() {
    m_system.forget(this);
}

void XcbPointerShield::setArea(const QRect& area) {
    if (area == m_area)
        return;
    m_area = area;
    m_system.configure(window, area);
}

} // namespace

std::unique_ptr<WindowSystem> createWindowSystem() {
    return std::make_unique<XcbWindowSystem>();
}

} // namespace platform
