#pragma once

#include "platform/linux/XcbConnection.h"
#include "platform/linux/XcbDesktop.h"
#include "platform/linux/XcbReply.h"

#include <QElapsedTimer>
#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>
#include <xcb/xcb_ewmh.h>

// The inside of XcbDesktop, shared by its three parts: what the server reports (XcbDesktop.cpp),
// the stacking of the managed windows (XcbStacking.cpp) and the reads of their properties and
// positions (XcbReads.cpp).
namespace platform::x11 {

struct XcbDesktop::Impl {
    // What is kept of a managed window until the server reports a change.
    struct Client {
        bool selected = false; // our event mask is set on it
        bool pidKnown = false, classKnown = false, typeKnown = false, stateKnown = false,
             extentsKnown = false, topKnown = false, shadowKnown = false;
        std::optional<qint32> pid;
        std::optional<QString> windowClass;
        std::vector<xcb_atom_t> types;
        std::vector<xcb_atom_t> states;
        std::optional<std::array<uint32_t, 4>> extents; // left, right, top, bottom
        std::optional<xcb_window_t> top;                // its ancestor among the root's children
        std::array<uint32_t, 4> shadow{};               // _GTK_FRAME_EXTENTS: left, right, top, bottom
    };
    // Whether it is mapped, and where, read on demand and kept until the server reports a change.
    struct Fresh {
        bool attributesRead = false, geometryRead = false;
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

    std::shared_ptr<XcbConnection> connection;
    xcb_connection_t* c = nullptr;
    xcb_ewmh_connection_t ewmh{};
    bool ewmhReady = false;
    xcb_atom_t gtkFrameExtents = XCB_NONE; // interned when first needed
    QString problem;
    std::shared_ptr<void> listening;

    bool stackingKnown = false;
    // The window manager's stacking list was missing or incomplete, so the server's own stacking
    // of the clients' frames stands in, and every restack invalidates it.
    bool stackingFromServer = false;
    std::optional<std::vector<xcb_window_t>> stacking; // bottom to top
    std::unordered_map<xcb_window_t, Client> clients;
    std::unordered_map<xcb_window_t, Fresh> fresh;
    QElapsedTimer freshAge;
    std::function<void()> changedCallback;
    bool changeScheduled = false;
    QObject context;

    // Told on a later turn, once, however many reports came: the caller may be in the middle of
    // a look that meets them.
    void notify();

    bool usable() const { return connection->usable() && ewmhReady; }

    void connect();

    void handle(const xcb_generic_event_t& event);

    // Something was moved, restacked, mapped or unmapped: what was read of positions is stale.
    void moved();

    void changed(const xcb_property_notify_event_t& event);

    void select(xcb_window_t window, Client& client);

    xcb_get_property_cookie_t property(xcb_window_t window, xcb_atom_t atom, xcb_atom_t type,
                                       uint32_t length);

    static std::optional<std::vector<xcb_window_t>> windowList(const Reply<xcb_get_property_reply_t>& reply);

    // The managed windows, bottom to top; none without a window manager that lists them.
    const std::optional<std::vector<xcb_window_t>>& refreshStacking();

    static bool sameWindows(std::vector<xcb_window_t> a, std::vector<xcb_window_t> b);

    // The listed clients in the order the server stacks their top-level windows, bottom to top.
    std::optional<std::vector<xcb_window_t>> serverStacking(const std::vector<xcb_window_t>& listed);

    // Each client's ancestor among the root's children (its window manager's frame), a level of
    // the tree per round trip.
    void findTops(const std::vector<xcb_window_t>& windows);

    // Reads what is unknown of the windows' properties, and of their positions what `wanted` asks
    // and is not kept, in one go.
    std::vector<Fresh> fetch(const std::vector<xcb_window_t>& windows, Wanted wanted);

    // False when the window no longer exists.
    bool readProperties(Client& client, const std::optional<xcb_get_property_cookie_t>& pid,
                        const std::optional<xcb_get_property_cookie_t>& windowClass,
                        const std::optional<xcb_get_property_cookie_t>& type,
                        const std::optional<xcb_get_property_cookie_t>& state,
                        const std::optional<xcb_get_property_cookie_t>& extents);

    // "instance\0class\0"
    std::optional<QString> titleOf(xcb_window_t window);
    static std::optional<QString> classPart(const Reply<xcb_get_property_reply_t>& reply);

    static std::vector<xcb_atom_t> atoms(const Reply<xcb_get_property_reply_t>& reply);

    bool has(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom) const;

    // The window's type as EWMH defines it: the first type we know, normal when none is given.
    xcb_atom_t type(const Client& client) const;

    qint64 layer(const Client& client) const;

    // The client rectangle widened by the border and the window manager's frame.
    QRectF framed(const Client& client, const Fresh& fresh) const;

    bool shown(const Client& client, const Fresh& fresh) const;

    // The process's managed windows, front to back.
    std::vector<xcb_window_t> windowsOf(qint32 pid);

    // Reads what is unknown of the windows' client-side shadows.
    void readShadows(const std::vector<xcb_window_t>& windows);
};

} // namespace platform::x11
