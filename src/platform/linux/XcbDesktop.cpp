#include "foundation/Geometry.h"
#include "platform/linux/XcbDesktopImpl.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace platform::x11 {

namespace {

// Layers of windows that are not normal windows; only "not 0" matters to the targeting code, the
// values follow the order the Mac's window levels have.
constexpr qint64 belowLayer = -1;
constexpr qint64 floatingLayer = 3;
constexpr qint64 otherLayer = 8;
constexpr qint64 dockLayer = 20;

} // namespace

void XcbDesktop::Impl::connect() {
    c = connection->get();
    if (!connection->usable()) {
        problem = connection->problem();
        return;
    }
    const xcb_window_t root = connection->root();
    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(c, &ewmh);
    ewmhReady = xcb_ewmh_init_atoms_replies(&ewmh, cookies, nullptr);
    if (!ewmhReady) {
        problem = QStringLiteral("The X display %1 does not answer.").arg(qEnvironmentVariable("DISPLAY"));
        return;
    }
    // Restacking, moves and mappings of top-level windows, and the window manager's lists.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_window_t check = XCB_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(&ewmh, xcb_ewmh_get_supporting_wm_check(&ewmh, root), &check,
                                                nullptr))
        problem =
            QStringLiteral("No window manager that publishes its windows (EWMH) runs on the display %1.")
                .arg(qEnvironmentVariable("DISPLAY"));
    listening = connection->listen([this](const xcb_generic_event_t& event) { handle(event); });
}

void XcbDesktop::Impl::notify() {
    if (!changedCallback || std::exchange(changeScheduled, true))
        return;
    QTimer::singleShot(0, &context, [this] {
        changeScheduled = false;
        if (changedCallback)
            changedCallback();
    });
}

void XcbDesktop::Impl::handle(const xcb_generic_event_t& event) {
    switch (event.response_type & ~0x80) {
    case XCB_PROPERTY_NOTIFY:
        changed(reinterpret_cast<const xcb_property_notify_event_t&>(event));
        break;
    case XCB_DESTROY_NOTIFY: {
        // The server hands a departed client's window ids to the next client: a new window may
        // carry the id of one we know.
        const xcb_window_t window = reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window;
        clients.erase(window);
        moved();
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto& reparent = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
        if (const auto found = clients.find(reparent.window); found != clients.end())
            found->second.topKnown = false;
        moved();
        break;
    }
    case XCB_CONFIGURE_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_GRAVITY_NOTIFY:
    case XCB_CIRCULATE_NOTIFY:
        moved();
        break;
    default:
        break;
    }
}

void XcbDesktop::Impl::moved() {
    fresh.clear();
    if (stackingFromServer)
        stackingKnown = false;
    notify();
}

void XcbDesktop::Impl::changed(const xcb_property_notify_event_t& event) {
    if (event.window == connection->root()) {
        if (event.atom == ewmh._NET_CLIENT_LIST_STACKING || event.atom == ewmh._NET_CLIENT_LIST) {
            stackingKnown = false;
            notify();
        }
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
    else if (event.atom == gtkFrameExtents && gtkFrameExtents != XCB_NONE)
        client.shadowKnown = false;
    else
        return;
    notify();
}

bool XcbDesktop::Impl::has(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom) const {
    return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

xcb_atom_t XcbDesktop::Impl::type(const Client& client) const {
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

qint64 XcbDesktop::Impl::layer(const Client& client) const {
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

QRectF XcbDesktop::Impl::framed(const Client& client, const Fresh& fresh) const {
    const QRectF inside = *fresh.client;
    const double border = fresh.border;
    const std::array<uint32_t, 4> e = client.extents.value_or(std::array<uint32_t, 4>{0, 0, 0, 0});
    return {inside.x() - border - e[0], inside.y() - border - e[2], inside.width() + 2 * border + e[0] + e[1],
            inside.height() + 2 * border + e[2] + e[3]};
}

bool XcbDesktop::Impl::shown(const Client& client, const Fresh& fresh) const {
    return fresh.viewable && !has(client.states, ewmh._NET_WM_STATE_HIDDEN);
}

std::vector<xcb_window_t> XcbDesktop::Impl::windowsOf(qint32 pid) {
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

XcbDesktop::XcbDesktop(std::shared_ptr<XcbConnection> connection) : d(std::make_unique<Impl>()) {
    d->connection = std::move(connection);
    d->connect();
}

XcbDesktop::~XcbDesktop() {
    if (d->ewmhReady)
        xcb_ewmh_connection_wipe(&d->ewmh);
}

QString XcbDesktop::problem() const {
    if (!d->connection->usable())
        return d->connection->problem();
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
    using Geometry::integral;
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
    xcb_ewmh_request_change_active_window(&d->ewmh, d->connection->screen(), *chosen,
                                          XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME, XCB_NONE);
    xcb_flush(d->c);
    return true;
}

bool XcbDesktop::watchChanges(std::function<void()> changed) {
    d->changedCallback = std::move(changed);
    return d->usable();
}

std::optional<QString> XcbDesktop::title(quint32 window) {
    if (!d->connection->usable())
        return std::nullopt;
    return d->titleOf(window);
}

std::optional<QPoint> XcbDesktop::pointer() {
    if (!d->connection->usable())
        return std::nullopt;
    const auto reply =
        own(xcb_query_pointer_reply(d->c, xcb_query_pointer(d->c, d->connection->root()), nullptr));
    d->connection->scheduleDrain();
    if (!reply || !reply->same_screen)
        return std::nullopt;
    return QPoint(reply->root_x, reply->root_y);
}

} // namespace platform::x11
