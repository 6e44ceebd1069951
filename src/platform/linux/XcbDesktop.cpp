#include "platform/linux/XcbDesktop.h"

#include "platform/linux/XcbReply.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_map>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace platform::x11 {

namespace {

// Layers of windows that are not normal windows; only "not 0" matters to the targeting code, the
// values follow the order the Mac's window levels have.
constexpr qint64 belowLayer = -1;
constexpr qint64 floatingLayer = 3;
constexpr qint64 otherLayer = 8;
constexpr qint64 dockLayer = 20;

// More clients than any desktop has; a longer list is read only this far.
constexpr uint32_t longestClientList = 65536;
constexpr uint32_t longestClass = 1024;
constexpr uint32_t longestAtomList = 64;

QRectF rectangle(double x, double y, double width, double height) {
    return {x, y, width, height};
}

} // namespace

struct XcbDesktop::Impl {
    // What is kept of a managed window until the server reports a change.
    struct Client {
        bool selected = false; // our PropertyNotify mask is set on it
        bool pidKnown = false, classKnown = false, typeKnown = false, stateKnown = false,
             extentsKnown = false;
        std::optional<qint32> pid;
        std::optional<QString> windowClass;
        std::vector<xcb_atom_t> types;
        std::vector<xcb_atom_t> states;
        std::optional<std::array<uint32_t, 4>> extents; // left, right, top, bottom
    };
    // What is read afresh.
    struct Fresh {
        bool exists = false;
        bool viewable = false;
        std::optional<QRectF> client; // root coordinates, inside any border
        uint16_t border = 0;
    };
    struct Wanted {
        bool properties = true; // only the pid and class when false
        bool attributes = false;
        bool geometry = false;
    };

    xcb_connection_t* c = nullptr;
    xcb_ewmh_connection_t ewmh{};
    bool ewmhReady = false;
    xcb_window_t root = XCB_NONE;
    int screen = 0;
    QString problem;

    bool stackingKnown = false;
    std::optional<std::vector<xcb_window_t>> stacking; // bottom to top
    std::unordered_map<xcb_window_t, Client> clients;
    std::unique_ptr<QSocketNotifier> notifier;

    bool usable() const { return c && ewmhReady && !xcb_connection_has_error(c); }

    void connect() {
        const QByteArray display = qgetenv("DISPLAY");
        if (display.isEmpty()) {
            problem = QStringLiteral("There is no X display: DISPLAY is not set. Other applications' windows "
                                     "are seen through X11 (XWayland on a Wayland desktop).");
            return;
        }
        c = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(c)) {
            problem =
                QStringLiteral("Cannot connect to the X display %1.").arg(QString::fromLocal8Bit(display));
            return;
        }
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screen && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (!screens.rem) {
            problem = QStringLiteral("The X display %1 has no screen.").arg(QString::fromLocal8Bit(display));
            return;
        }
        root = screens.data->root;
        xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(c, &ewmh);
        ewmhReady = xcb_ewmh_init_atoms_replies(&ewmh, cookies, nullptr);
        if (!ewmhReady) {
            problem =
                QStringLiteral("The X display %1 does not answer.").arg(QString::fromLocal8Bit(display));
            return;
        }
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        xcb_window_t check = XCB_NONE;
        if (!xcb_ewmh_get_supporting_wm_check_reply(&ewmh, xcb_ewmh_get_supporting_wm_check(&ewmh, root),
                                                    &check, nullptr))
            problem =
                QStringLiteral("No window manager that publishes its windows (EWMH) runs on the display %1.")
                    .arg(QString::fromLocal8Bit(display));

        // The server's change reports are read on every call; with an event loop they are also read
        // as they come, so that they never pile up while nobody asks.
        if (QCoreApplication::instance() &&
            QThread::currentThread() == QCoreApplication::instance()->thread()) {
            notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                             [this] { drain(); });
        }
    }

    void drain() {
        if (!c)
            return;
        if (xcb_connection_has_error(c)) {
            // A lost connection stays readable for ever.
            if (notifier)
                notifier->setEnabled(false);
            return;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & ~0x80;
            if (type == XCB_PROPERTY_NOTIFY)
                changed(*reinterpret_cast<xcb_property_notify_event_t*>(event));
            // The server hands a departed client's window ids to the next client: a new window may
            // carry the id of one we know.
            else if (type == XCB_DESTROY_NOTIFY)
                clients.erase(reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window);
            std::free(event);
        }
    }

    void changed(const xcb_property_notify_event_t& event) {
        if (event.window == root) {
            if (event.atom == ewmh._NET_CLIENT_LIST_STACKING || event.atom == ewmh._NET_CLIENT_LIST)
                stackingKnown = false;
            return;
        }
        const auto found = clients.find(event.window);
        if (found == clients.end())
            return;
        Client& client = found->second;
        if (event.atom == ewmh._NET_WM_PID)
            client.pidKnown = false;
        else if (event.atom == XCB_ATOM_WM_CLASS)
            client.classKnown = false;
        else if (event.atom == ewmh._NET_WM_WINDOW_TYPE)
            client.typeKnown = false;
        else if (event.atom == ewmh._NET_WM_STATE)
            client.stateKnown = false;
        else if (event.atom == ewmh._NET_FRAME_EXTENTS)
            client.extentsKnown = false;
    }

    // The managed windows, bottom to top; none without a window manager that lists them.
    const std::optional<std::vector<xcb_window_t>>& refreshStacking() {
        drain();
        if (stackingKnown)
            return stacking;
        const auto reply =
            own(xcb_get_property_reply(c,
                                       xcb_get_property(c, 0, root, ewmh._NET_CLIENT_LIST_STACKING,
                                                        XCB_ATOM_WINDOW, 0, longestClientList),
                                       nullptr));
        stackingKnown = true;
        // Reports that came before the list describe windows as they were before it.
        drain();
        if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32) {
            stacking.reset();
            clients.clear();
            return stacking;
        }
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
        stacking.emplace(windows, windows + xcb_get_property_value_length(reply.get()) / 4);
        std::erase_if(clients, [&](const auto& client) {
            return std::find(stacking->begin(), stacking->end(), client.first) == stacking->end();
        });
        for (xcb_window_t window : *stacking)
            clients.try_emplace(window);
        return stacking;
    }

    xcb_get_property_cookie_t property(xcb_window_t window, xcb_atom_t atom, xcb_atom_t type,
                                       uint32_t length) {
        return xcb_get_property(c, 0, window, atom, type, 0, length);
    }

    // Reads what is unknown of the windows' properties, and what `wanted` asks afresh, in one go.
    std::vector<Fresh> fetch(const std::vector<xcb_window_t>& windows, Wanted wanted) {
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
            if (!client.selected) {
                // Before the reads, so that no change after them goes unreported.
                const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
                client.selected = true;
            }
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
            if (wanted.attributes)
                cookie.attributes = xcb_get_window_attributes(c, window);
            if (wanted.geometry) {
                cookie.geometry = xcb_get_geometry(c, window);
                cookie.origin = xcb_translate_coordinates(c, window, root, 0, 0);
            }
        }

        std::vector<Fresh> fresh(windows.size());
        std::vector<xcb_window_t> gone;
        for (size_t i = 0; i < windows.size(); ++i) {
            Client& client = clients[windows[i]];
            Cookies& cookie = cookies[i];
            if (cookie.pid) {
                client.pidKnown = true;
                client.pid.reset();
                xcb_generic_error_t* error = nullptr;
                const auto reply = own(xcb_get_property_reply(c, *cookie.pid, &error));
                // The window went away before our reads: nothing of it may be kept, not even our
                // selection, since its id may come back on another window.
                if (error) {
                    std::free(error);
                    gone.push_back(windows[i]);
                }
                if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 4) {
                    const uint32_t pid = *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
                    if (pid > 0 && pid <= uint32_t(std::numeric_limits<qint32>::max()))
                        client.pid = qint32(pid);
                }
            }
            if (cookie.windowClass) {
                client.classKnown = true;
                client.windowClass.reset();
                const auto reply = own(xcb_get_property_reply(c, *cookie.windowClass, nullptr));
                if (reply && reply->format == 8) {
                    // "instance\0class\0"
                    const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
                    const QByteArray value(text, xcb_get_property_value_length(reply.get()));
                    const qsizetype end = value.indexOf('\0');
                    if (end >= 0) {
                        QByteArray part = value.mid(end + 1);
                        if (const qsizetype stop = part.indexOf('\0'); stop >= 0)
                            part.truncate(stop);
                        if (!part.isEmpty())
                            client.windowClass = QString::fromLatin1(part);
                    }
                }
            }
            const auto atoms = [&](xcb_get_property_cookie_t request, std::vector<xcb_atom_t>& into) {
                into.clear();
                const auto reply = own(xcb_get_property_reply(c, request, nullptr));
                if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
                    const auto* list = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
                    into.assign(list, list + xcb_get_property_value_length(reply.get()) / 4);
                }
            };
            if (cookie.type) {
                client.typeKnown = true;
                atoms(*cookie.type, client.types);
            }
            if (cookie.state) {
                client.stateKnown = true;
                atoms(*cookie.state, client.states);
            }
            if (cookie.extents) {
                client.extentsKnown = true;
                client.extents.reset();
                const auto reply = own(xcb_get_property_reply(c, *cookie.extents, nullptr));
                if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 16) {
                    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
                    client.extents = std::array<uint32_t, 4>{values[0], values[1], values[2], values[3]};
                }
            }
            if (cookie.attributes) {
                const auto reply = own(xcb_get_window_attributes_reply(c, *cookie.attributes, nullptr));
                if (!reply && std::find(gone.begin(), gone.end(), windows[i]) == gone.end())
                    gone.push_back(windows[i]);
                fresh[i].exists = bool(reply);
                fresh[i].viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
            }
            if (cookie.geometry) {
                const auto geometry = own(xcb_get_geometry_reply(c, *cookie.geometry, nullptr));
                const auto origin = own(xcb_translate_coordinates_reply(c, *cookie.origin, nullptr));
                if (geometry && origin) {
                    fresh[i].client =
                        rectangle(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
                    fresh[i].border = geometry->border_width;
                }
            }
        }
        for (xcb_window_t window : gone)
            clients.erase(window);
        return fresh;
    }

    bool has(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom) const {
        return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
    }

    // The window's type as EWMH defines it: the first type we know, normal when none is given.
    xcb_atom_t type(const Client& client) const {
        const std::array known{ewmh._NET_WM_WINDOW_TYPE_DESKTOP,      ewmh._NET_WM_WINDOW_TYPE_DOCK,
                               ewmh._NET_WM_WINDOW_TYPE_TOOLBAR,      ewmh._NET_WM_WINDOW_TYPE_MENU,
                               ewmh._NET_WM_WINDOW_TYPE_UTILITY,      ewmh._NET_WM_WINDOW_TYPE_SPLASH,
                               ewmh._NET_WM_WINDOW_TYPE_DIALOG,       ewmh._NET_WM_WINDOW_TYPE_DROPDOWN_MENU,
                               ewmh._NET_WM_WINDOW_TYPE_POPUP_MENU,   ewmh._NET_WM_WINDOW_TYPE_TOOLTIP,
                               ewmh._NET_WM_WINDOW_TYPE_NOTIFICATION, ewmh._NET_WM_WINDOW_TYPE_COMBO,
                               ewmh._NET_WM_WINDOW_TYPE_DND,          ewmh._NET_WM_WINDOW_TYPE_NORMAL};
        for (xcb_atom_t atom : client.types) {
            if (std::find(known.begin(), known.end(), atom) != known.end())
                return atom;
        }
        return ewmh._NET_WM_WINDOW_TYPE_NORMAL;
    }

    qint64 layer(const Client& client) const {
        const xcb_atom_t kind = type(client);
        if (kind == ewmh._NET_WM_WINDOW_TYPE_NORMAL || kind == ewmh._NET_WM_WINDOW_TYPE_DIALOG ||
            kind == ewmh._NET_WM_WINDOW_TYPE_UTILITY) {
            if (has(client.states, ewmh._NET_WM_STATE_ABOVE))
                return floatingLayer;
            if (has(client.states, ewmh._NET_WM_STATE_BELOW))
                return belowLayer;
            return 0;
        }
        return kind == ewmh._NET_WM_WINDOW_TYPE_DOCK ? dockLayer : otherLayer;
    }

    // The client rectangle widened by the border and the window manager's frame.
    QRectF framed(const Client& client, const Fresh& fresh) const {
        const QRectF inside = *fresh.client;
        const double border = fresh.border;
        const std::array<uint32_t, 4> e = client.extents.value_or(std::array<uint32_t, 4>{0, 0, 0, 0});
        return rectangle(inside.x() - border - e[0], inside.y() - border - e[2],
                         inside.width() + 2 * border + e[0] + e[1],
                         inside.height() + 2 * border + e[2] + e[3]);
    }

    bool shown(const Client& client, const Fresh& fresh) const {
        return fresh.viewable && !has(client.states, ewmh._NET_WM_STATE_HIDDEN);
    }

    // The process's managed windows, front to back.
    std::vector<xcb_window_t> windowsOf(qint32 pid) {
        std::vector<xcb_window_t> owned;
        const auto& list = refreshStacking();
        if (!list)
            return owned;
        std::vector<xcb_window_t> unknown;
        for (xcb_window_t window : *list) {
            const Client& client = clients[window];
            if (!client.pidKnown || !client.classKnown)
                unknown.push_back(window);
        }
        if (!unknown.empty())
            fetch(unknown, Wanted{false, false, false});
        for (auto window = list->rbegin(); window != list->rend(); ++window) {
            if (clients[*window].pid == pid)
                owned.push_back(*window);
        }
        return owned;
    }
};

XcbDesktop::XcbDesktop() : d(std::make_unique<Impl>()) {
    d->connect();
}

XcbDesktop::~XcbDesktop() {
    d->notifier.reset();
    if (d->ewmhReady)
        xcb_ewmh_connection_wipe(&d->ewmh);
    if (d->c)
        xcb_disconnect(d->c);
}

QString XcbDesktop::problem() const {
    if (d->c && xcb_connection_has_error(d->c))
        return QStringLiteral("The connection to the X display was lost.");
    return d->problem;
}

std::optional<std::vector<WindowEntry>> XcbDesktop::onScreenWindows() {
    if (!d->usable())
        return std::nullopt;
    const auto list = d->refreshStacking(); // a copy: fetching may meet a change report
    if (!list)
        return std::nullopt;
    const std::vector<Impl::Fresh> fresh = d->fetch(*list, Impl::Wanted{true, true, true});
    std::vector<WindowEntry> entries;
    entries.reserve(list->size());
    for (size_t i = list->size(); i-- > 0;) {
        const xcb_window_t window = (*list)[i];
        const Impl::Client& client = d->clients[window];
        if (!d->shown(client, fresh[i]) || d->type(client) == d->ewmh._NET_WM_WINDOW_TYPE_DESKTOP)
            continue;
        WindowEntry entry;
        entry.ownerPid = client.pid;
        entry.layer = d->layer(client);
        entry.number = window;
        if (fresh[i].client) {
            entry.bounds = d->framed(client, fresh[i]);
            entry.clientBounds = fresh[i].client;
        }
        entries.push_back(entry);
    }
    return entries;
}

std::optional<QString> XcbDesktop::applicationClass(qint32 pid) {
    if (!d->usable())
        return std::nullopt;
    for (xcb_window_t window : d->windowsOf(pid)) {
        if (const auto& windowClass = d->clients[window].windowClass)
            return windowClass;
    }
    return std::nullopt;
}

bool XcbDesktop::isHidden(qint32 pid) {
    if (!d->usable())
        return false;
    const std::vector<xcb_window_t> windows = d->windowsOf(pid);
    if (windows.empty())
        return false;
    const std::vector<Impl::Fresh> fresh = d->fetch(windows, Impl::Wanted{true, true, false});
    for (size_t i = 0; i < windows.size(); ++i) {
        if (d->shown(d->clients[windows[i]], fresh[i]))
            return false;
    }
    return true;
}

bool XcbDesktop::activate(qint32 pid, const std::optional<QRectF>& window) {
    if (!d->usable())
        return false;
    const std::vector<xcb_window_t> windows = d->windowsOf(pid);
    const std::vector<Impl::Fresh> fresh = d->fetch(windows, Impl::Wanted{true, true, true});
    const auto integral = [](const QRectF& r) {
        return QRectF(std::floor(r.left()), std::floor(r.top()), std::ceil(r.right()) - std::floor(r.left()),
                      std::ceil(r.bottom()) - std::floor(r.top()));
    };
    std::optional<xcb_window_t> chosen;
    for (size_t i = 0; i < windows.size() && !chosen; ++i) {
        const Impl::Client& client = d->clients[windows[i]];
        if (!fresh[i].exists || !fresh[i].client || d->layer(client) != 0)
            continue;
        if (!window || integral(*window) == integral(d->framed(client, fresh[i])) ||
            integral(*window) == integral(*fresh[i].client))
            chosen = windows[i];
    }
    if (!chosen)
        return false;
    // Source "pager": window managers honour it without focus-stealing checks.
    xcb_ewmh_request_change_active_window(&d->ewmh, d->screen, *chosen, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER,
                                          XCB_CURRENT_TIME, XCB_NONE);
    xcb_flush(d->c);
    return true;
}

std::optional<QPoint> XcbDesktop::pointer() {
    if (!d->c || xcb_connection_has_error(d->c))
        return std::nullopt;
    const auto reply = own(xcb_query_pointer_reply(d->c, xcb_query_pointer(d->c, d->root), nullptr));
    if (!reply || !reply->same_screen)
        return std::nullopt;
    return QPoint(reply->root_x, reply->root_y);
}

} // namespace platform::x11
