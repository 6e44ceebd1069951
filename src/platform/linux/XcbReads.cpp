#include "platform/linux/XcbDesktopImpl.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace platform::x11 {

namespace {

constexpr uint32_t longestClass = 1024;
constexpr uint32_t longestAtomList = 64;
// A frame wider than this on any side is not one a window manager draws.
constexpr uint32_t widestFrameSide = 4096;
// Positions and sizes are kept until the server reports a change; a change it did not report
// (a window manager that moves frames without telling the clients) shows this late at most.
constexpr qint64 freshLifetime = 2000; // milliseconds

} // namespace

void XcbDesktop::Impl::select(xcb_window_t window, Client& client) {
    if (client.selected)
        return;
    // Before the reads, so that no change after them goes unreported.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
    client.selected = true;
}

xcb_get_property_cookie_t XcbDesktop::Impl::property(xcb_window_t window, xcb_atom_t atom, xcb_atom_t type,
                                                     uint32_t length) {
    return xcb_get_property(c, 0, window, atom, type, 0, length);
}

std::vector<XcbDesktop::Impl::Fresh> XcbDesktop::Impl::fetch(const std::vector<xcb_window_t>& windows,
                                                             Wanted wanted) {
    if (!freshAge.isValid() || freshAge.elapsed() > freshLifetime) {
        fresh.clear();
        freshAge.start();
    }
    struct Cookies {
        std::optional<xcb_get_property_cookie_t> pid, windowClass, type, state, extents;
        std::optional<xcb_get_window_attributes_cookie_t> attributes;
        std::optional<xcb_get_geometry_cookie_t> geometry;
        std::optional<xcb_translate_coordinates_cookie_t> origin;
    };
    std::vector<Cookies> cookies(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        const xcb_window_t window = windows[i];
        Client& client = clients[window];
        select(window, client);
        Cookies& cookie = cookies[i];
        if (!client.pidKnown)
            cookie.pid = property(window, ewmh._NET_WM_PID, XCB_ATOM_CARDINAL, 1);
        if (!client.classKnown)
            cookie.windowClass = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, longestClass);
        if (wanted.properties) {
            if (!client.typeKnown)
                cookie.type = property(window, ewmh._NET_WM_WINDOW_TYPE, XCB_ATOM_ATOM, longestAtomList);
            if (!client.stateKnown)
                cookie.state = property(window, ewmh._NET_WM_STATE, XCB_ATOM_ATOM, longestAtomList);
            if (!client.extentsKnown)
                cookie.extents = property(window, ewmh._NET_FRAME_EXTENTS, XCB_ATOM_CARDINAL, 4);
        }
        const Fresh& kept = fresh[window];
        if (wanted.attributes && !kept.attributesRead)
            cookie.attributes = xcb_get_window_attributes(c, window);
        if (wanted.geometry && !kept.geometryRead) {
            cookie.geometry = xcb_get_geometry(c, window);
            cookie.origin = xcb_translate_coordinates(c, window, connection->root(), 0, 0);
        }
    }

    std::vector<xcb_window_t> gone;
    for (size_t i = 0; i < windows.size(); ++i) {
        if (!readProperties(clients[windows[i]], cookies[i].pid, cookies[i].windowClass, cookies[i].type,
                            cookies[i].state, cookies[i].extents))
            gone.push_back(windows[i]);
        Fresh& kept = fresh[windows[i]];
        if (cookies[i].attributes) {
            const auto reply = own(xcb_get_window_attributes_reply(c, *cookies[i].attributes, nullptr));
            kept.attributesRead = true;
            kept.exists = bool(reply);
            kept.viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
            if (!reply)
                gone.push_back(windows[i]);
        }
        if (cookies[i].geometry) {
            const auto geometry = own(xcb_get_geometry_reply(c, *cookies[i].geometry, nullptr));
            const auto origin = own(xcb_translate_coordinates_reply(c, *cookies[i].origin, nullptr));
            kept.geometryRead = true;
            kept.client.reset();
            if (geometry && origin) {
                kept.client = QRectF(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
                kept.border = geometry->border_width;
            }
        }
    }
    std::vector<Fresh> result;
    result.reserve(windows.size());
    for (xcb_window_t window : windows)
        result.push_back(fresh[window]);
    // The window went away before our reads: nothing of it may be kept, not even our
    // selection, since its id may come back on another window.
    for (xcb_window_t window : gone) {
        clients.erase(window);
        fresh.erase(window);
    }
    return result;
}

bool XcbDesktop::Impl::readProperties(Client& client, const std::optional<xcb_get_property_cookie_t>& pid,
                                      const std::optional<xcb_get_property_cookie_t>& windowClass,
                                      const std::optional<xcb_get_property_cookie_t>& type,
                                      const std::optional<xcb_get_property_cookie_t>& state,
                                      const std::optional<xcb_get_property_cookie_t>& extents) {
    bool exists = true;
    if (pid) {
        client.pidKnown = true;
        client.pid.reset();
        xcb_generic_error_t* error = nullptr;
        const auto reply = own(xcb_get_property_reply(c, *pid, &error));
        if (error) {
            std::free(error);
            exists = false;
        }
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 4) {
            const uint32_t value = *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
            if (value > 0 && value <= uint32_t(std::numeric_limits<qint32>::max()))
                client.pid = qint32(value);
        }
    }
    if (windowClass) {
        client.classKnown = true;
        client.windowClass = classPart(own(xcb_get_property_reply(c, *windowClass, nullptr)));
    }
    if (type) {
        client.typeKnown = true;
        client.types = atoms(own(xcb_get_property_reply(c, *type, nullptr)));
    }
    if (state) {
        client.stateKnown = true;
        client.states = atoms(own(xcb_get_property_reply(c, *state, nullptr)));
    }
    if (extents) {
        client.extentsKnown = true;
        client.extents.reset();
        const auto reply = own(xcb_get_property_reply(c, *extents, nullptr));
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 16) {
            const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
            if (std::all_of(values, values + 4, [](uint32_t side) { return side <= widestFrameSide; }))
                client.extents = std::array<uint32_t, 4>{values[0], values[1], values[2], values[3]};
        }
    }
    return exists;
}

std::optional<QString> XcbDesktop::Impl::titleOf(xcb_window_t window) {
    if (!ewmhReady)
        return std::nullopt;
    // Both asked at once; the window manager's UTF-8 name wins.
    const auto wide = property(window, ewmh._NET_WM_NAME, ewmh.UTF8_STRING, longestClass);
    const auto plain = property(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, longestClass);
    const auto read = [&](xcb_get_property_cookie_t cookie, bool utf8) -> std::optional<QString> {
        const auto reply = own(xcb_get_property_reply(c, cookie, nullptr));
        if (!reply || reply->format != 8 || xcb_get_property_value_length(reply.get()) <= 0)
            return std::nullopt;
        const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
        const int length = xcb_get_property_value_length(reply.get());
        return utf8 ? QString::fromUtf8(text, length) : QString::fromLatin1(text, length);
    };
    std::optional<QString> found = read(wide, true);
    const std::optional<QString> fallback = read(plain, false);
    return found ? found : fallback;
}

std::optional<QString> XcbDesktop::Impl::classPart(const Reply<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->format != 8)
        return std::nullopt;
    const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const QByteArray value(text, xcb_get_property_value_length(reply.get()));
    const qsizetype end = value.indexOf('\0');
    if (end < 0)
        return std::nullopt;
    QByteArray part = value.mid(end + 1);
    if (const qsizetype stop = part.indexOf('\0'); stop >= 0)
        part.truncate(stop);
    if (part.isEmpty())
        return std::nullopt;
    return QString::fromLatin1(part);
}

std::vector<xcb_atom_t> XcbDesktop::Impl::atoms(const Reply<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32)
        return {};
    const auto* list = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    return {list, list + xcb_get_property_value_length(reply.get()) / 4};
}

void XcbDesktop::Impl::readShadows(const std::vector<xcb_window_t>& windows) {
    if (gtkFrameExtents == XCB_NONE) {
        const QByteArray name("_GTK_FRAME_EXTENTS");
        const auto reply = own(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr));
        if (!reply)
            return;
        gtkFrameExtents = reply->atom;
    }
    std::vector<std::pair<Client*, xcb_get_property_cookie_t>> asked;
    for (xcb_window_t window : windows) {
        Client& client = clients[window];
        if (!client.shadowKnown)
            asked.emplace_back(&client, property(window, gtkFrameExtents, XCB_ATOM_CARDINAL, 4));
    }
    for (auto& [client, cookie] : asked) {
        client->shadowKnown = true;
        client->shadow = {};
        const auto reply = own(xcb_get_property_reply(c, cookie, nullptr));
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 16) {
            const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
            if (std::all_of(values, values + 4, [](uint32_t side) { return side <= widestFrameSide; }))
                client->shadow = {values[0], values[1], values[2], values[3]};
        }
    }
}

std::vector<QRect> XcbDesktop::contents(qint32 pid) {
    std::vector<QRect> found;
    if (!d->usable())
        return found;
    const std::vector<xcb_window_t> windows = d->windowsOf(pid);
    const std::vector<Impl::Fresh> fresh = d->fetch(windows, Impl::Wanted{true, true, true});
    std::vector<std::pair<xcb_window_t, QRect>> shown;
    for (size_t i = 0; i < windows.size(); ++i) {
        const auto client = d->clients.find(windows[i]);
        if (client != d->clients.end() && fresh[i].client && d->shown(client->second, fresh[i]))
            shown.emplace_back(windows[i], fresh[i].client->toRect());
    }
    std::vector<xcb_window_t> asked;
    for (const auto& [window, inside] : shown)
        asked.push_back(window);
    d->readShadows(asked);
    for (const auto& [window, inside] : shown) {
        const auto& s = d->clients[window].shadow;
        const QRect content = inside.adjusted(int(s[0]), int(s[2]), -int(s[1]), -int(s[3]));
        if (content != inside && content.isValid())
            found.push_back(content);
        found.push_back(inside);
    }
    return found;
}

} // namespace platform::x11
