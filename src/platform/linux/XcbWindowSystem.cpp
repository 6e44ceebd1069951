#include "platform/linux/XcbWindowSystem.h"

#include "platform/linux/XcbReply.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace platform::x11 {

namespace {

// The source indication of _NET_RESTACK_WINDOW and _NET_ACTIVE_WINDOW for a pager-like tool, which
// window managers obey.
constexpr quint32 pagerSource = 2;
// WM_HINTS: nine 32-bit fields; the flag that says the input field is set.
constexpr quint32 hintsLength = 9;
constexpr quint32 inputHint = 1;

xcb_window_t idOf(QWindow& window) {
    return xcb_window_t(window.winId());
}

} // namespace

XcbWindowSystem::XcbWindowSystem(std::shared_ptr<XcbConnection> connection)
    : m_x(std::move(connection)), m_escapeKeys(m_x), m_shields(m_x) {
    if (!m_x->usable())
        return;
    m_compositorSelection = m_x->atom("_NET_WM_CM_S" + QByteArray::number(m_x->screen()));
    m_supported = m_x->atom("_NET_SUPPORTED");
    m_restack = m_x->atom("_NET_RESTACK_WINDOW");
    m_activeWindow = m_x->atom("_NET_ACTIVE_WINDOW");
    m_state = m_x->atom("_NET_WM_STATE");
    m_skipTaskbar = m_x->atom("_NET_WM_STATE_SKIP_TASKBAR");
    m_skipPager = m_x->atom("_NET_WM_STATE_SKIP_PAGER");
}

bool XcbWindowSystem::compositing() {
    if (!m_x->usable())
        return false;
    xcb_connection_t* c = m_x->get();
    const auto owner =
        own(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_compositorSelection), nullptr));
    m_x->scheduleDrain();
    return owner && owner->owner != XCB_NONE;
}

quint32 XcbWindowSystem::number(QWindow& window) {
    return idOf(window);
}

void XcbWindowSystem::setAuxiliary(QWindow& window) {
    if (!m_x->usable())
        return;
    xcb_connection_t* c = m_x->get();
    const xcb_window_t id = idOf(window);
    const auto current =
        own(xcb_get_property_reply(c, xcb_get_property(c, 0, id, m_state, XCB_ATOM_ATOM, 0, 64), nullptr));
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
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, m_state, XCB_ATOM_ATOM, 32, uint32_t(states.size()),
                            states.data());
    xcb_flush(c);
    m_x->scheduleDrain();
}

void XcbWindowSystem::setAcceptsFocus(QWindow& window, bool accepts) {
    if (!m_x->usable())
        return;
    xcb_connection_t* c = m_x->get();
    const xcb_window_t id = idOf(window);
    // WM_HINTS as ICCCM lays it out: flags, input, initial state, icon pixmap, icon window, icon
    // position, icon mask, window group. Only the input field changes.
    const auto current = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, hintsLength), nullptr));
    std::array<quint32, hintsLength> hints{};
    if (current && current->format == 32) {
        const int length = std::min(int(hintsLength), xcb_get_property_value_length(current.get()) / 4);
        const auto* values = static_cast<const quint32*>(xcb_get_property_value(current.get()));
        std::copy(values, values + length, hints.begin());
    }
    hints[0] |= inputHint;
    hints[1] = accepts ? 1 : 0;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, hintsLength,
                        hints.data());
    // A round trip: the window manager hears of the change before anything the toolkit asks next.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    m_x->scheduleDrain();
}

void XcbWindowSystem::orderAbove(QWindow& window, quint32 other) {
    if (!m_x->usable())
        return;
    xcb_connection_t* c = m_x->get();
    if (windowManagerSupports(m_restack)) {
        askWindowManager(idOf(window), m_restack, {pagerSource, other, XCB_STACK_MODE_ABOVE});
    } else {
        // Without a window manager both are children of the root and can be stacked directly.
        const quint32 values[] = {other, XCB_STACK_MODE_ABOVE};
        xcb_configure_window(c, idOf(window), XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE,
                             values);
    }
    xcb_flush(c);
    m_x->scheduleDrain();
}

void XcbWindowSystem::restore(QWindow& window) {
    if (!m_x->usable())
        return;
    // Mapping an iconic window is how a client asks for it to be normal again; an unmapped one the
    // window manager takes on anew.
    xcb_map_window(m_x->get(), idOf(window));
    xcb_flush(m_x->get());
}

void XcbWindowSystem::showOverlay(QWindow& window) {
    if (!m_x->usable())
        return;
    // The overlay bypasses the window manager, so it is stacked directly.
    const quint32 above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_x->get(), idOf(window), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(m_x->get());
}

void XcbWindowSystem::activate(QWindow& window) {
    if (!m_x->usable())
        return;
    // As a pager asks: focus-stealing prevention judges requests from applications by the time of
    // their last input, and the click that led here went to another application's window.
    askWindowManager(idOf(window), m_activeWindow, {pagerSource, XCB_CURRENT_TIME});
    xcb_flush(m_x->get());
}

std::unique_ptr<Watch> XcbWindowSystem::watchEscape(std::function<void()> escape) {
    return m_escapeKeys.watch(std::move(escape));
}

std::unique_ptr<PointerShield> XcbWindowSystem::shieldPointer(const QRectF& area, PointerEvents events) {
    return m_shields.shield(area, std::move(events));
}

std::optional<QPointF> XcbWindowSystem::pointer() {
    if (!m_x->usable())
        return std::nullopt;
    xcb_connection_t* c = m_x->get();
    const auto reply = own(xcb_query_pointer_reply(c, xcb_query_pointer(c, m_x->root()), nullptr));
    m_x->scheduleDrain();
    if (!reply || !reply->same_screen)
        return std::nullopt;
    return m_pixels.toLogical(QPointF(reply->root_x, reply->root_y));
}

QString XcbWindowSystem::describe(QWindow& window) {
    if (!m_x->usable())
        return {};
    xcb_connection_t* c = m_x->get();
    const xcb_window_t id = idOf(window);
    const auto names = [&](xcb_atom_t property) {
        QStringList found;
        const auto reply = own(
            xcb_get_property_reply(c, xcb_get_property(c, 0, id, property, XCB_ATOM_ATOM, 0, 32), nullptr));
        if (!reply || reply->format != 32)
            return found;
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        for (int i = 0; i < xcb_get_property_value_length(reply.get()) / 4; ++i) {
            const auto name = own(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atoms[i]), nullptr));
            if (name)
                found << QString::fromLatin1(xcb_get_atom_name_name(name.get()),
                                             xcb_get_atom_name_name_length(name.get()));
        }
        return found;
    };
    const QStringList types = names(m_x->atom("_NET_WM_WINDOW_TYPE"));
    const QStringList states = names(m_state);
    const auto hints = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, hintsLength), nullptr));
    bool input = true;
    if (hints && hints->format == 32 && xcb_get_property_value_length(hints.get()) >= 8) {
        const auto* fields = static_cast<const quint32*>(xcb_get_property_value(hints.get()));
        input = !(fields[0] & inputHint) || fields[1] != 0;
    }
    m_x->scheduleDrain();
    return QStringLiteral("type %1, state %2, takes the keyboard when clicked: %3")
        .arg(types.isEmpty() ? QStringLiteral("(none)") : types.join(QLatin1Char(' ')),
             states.isEmpty() ? QStringLiteral("(none)") : states.join(QLatin1Char(' ')),
             input ? QStringLiteral("yes") : QStringLiteral("no"));
}

QByteArray XcbWindowSystem::picture(quint32 window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!m_x->usable() || !screen)
        return {};
    // The toolkit reads the window's own pixels from the server (with a compositing manager, even
    // where other windows cover it).
    const QImage image = screen->grabWindow(WId(window)).toImage();
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

bool XcbWindowSystem::windowManagerSupports(xcb_atom_t feature) {
    xcb_connection_t* c = m_x->get();
    const auto answer = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, m_x->root(), m_supported, XCB_ATOM_ATOM, 0, 1024), nullptr));
    if (!answer || answer->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(answer.get()));
    const int count = xcb_get_property_value_length(answer.get()) / 4;
    return std::find(atoms, atoms + count, feature) != atoms + count;
}

void XcbWindowSystem::askWindowManager(xcb_window_t window, xcb_atom_t type,
                                       std::initializer_list<quint32> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::copy_n(data.begin(), std::min<size_t>(data.size(), 5), message.data.data32);
    xcb_send_event(m_x->get(), 0, m_x->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

} // namespace platform::x11
