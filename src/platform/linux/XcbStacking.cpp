#include "platform/linux/XcbDesktopImpl.h"

#include <algorithm>

namespace platform::x11 {

namespace {

// More clients than any desktop has; a longer list is read only this far.
constexpr uint32_t longestClientList = 65536;
// Window managers nest a client at most a few windows below the root.
constexpr int deepestClient = 8;

} // namespace

std::optional<std::vector<xcb_window_t>>
XcbDesktop::Impl::windowList(const Reply<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32)
        return std::nullopt;
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    return std::vector<xcb_window_t>(windows, windows + xcb_get_property_value_length(reply.get()) / 4);
}

const std::optional<std::vector<xcb_window_t>>& XcbDesktop::Impl::refreshStacking() {
    connection->drain();
    if (stackingKnown)
        return stacking;
    const xcb_window_t root = connection->root();
    const auto stackedCookie =
        property(root, ewmh._NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW, longestClientList);
    const auto listedCookie = property(root, ewmh._NET_CLIENT_LIST, XCB_ATOM_WINDOW, longestClientList);
    const auto stacked = windowList(own(xcb_get_property_reply(c, stackedCookie, nullptr)));
    const auto listed = windowList(own(xcb_get_property_reply(c, listedCookie, nullptr)));
    stackingKnown = true;
    stackingFromServer = false;
    // Reports that came before the lists describe windows as they were before them.
    connection->drain();
    stacking = stacked;
    // Some window managers publish the stacking list only after their first restack, and
    // leave windows mapped since then out of it until the next one.
    if (listed && (!stacked || !sameWindows(*stacked, *listed))) {
        stacking = serverStacking(*listed);
        stackingFromServer = true;
    }
    if (!stacking) {
        clients.clear();
        return stacking;
    }
    std::erase_if(clients, [&](const auto& client) {
        return std::find(stacking->begin(), stacking->end(), client.first) == stacking->end();
    });
    for (xcb_window_t window : *stacking)
        clients.try_emplace(window);
    return stacking;
}

bool XcbDesktop::Impl::sameWindows(std::vector<xcb_window_t> a, std::vector<xcb_window_t> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

std::optional<std::vector<xcb_window_t>>
XcbDesktop::Impl::serverStacking(const std::vector<xcb_window_t>& listed) {
    const xcb_window_t root = connection->root();
    const auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree)
        return std::nullopt;
    findTops(listed);
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    std::unordered_map<xcb_window_t, int> height;
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        height.emplace(children[i], i);
    const auto heightOf = [&](xcb_window_t window) {
        const Client& client = clients[window];
        const auto found = client.top ? height.find(*client.top) : height.end();
        return found == height.end() ? -1 : found->second;
    };
    std::vector<xcb_window_t> ordered = listed;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](xcb_window_t a, xcb_window_t b) { return heightOf(a) < heightOf(b); });
    return ordered;
}

void XcbDesktop::Impl::findTops(const std::vector<xcb_window_t>& windows) {
    struct Climb {
        xcb_window_t client;
        xcb_window_t at;
    };
    std::vector<Climb> climbing;
    for (xcb_window_t window : windows) {
        Client& client = clients[window];
        select(window, client);
        if (!client.topKnown)
            climbing.push_back({window, window});
    }
    for (int level = 0; level < deepestClient && !climbing.empty(); ++level) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (const Climb& climb : climbing)
            cookies.push_back(xcb_query_tree(c, climb.at));
        std::vector<Climb> higher;
        for (size_t i = 0; i < climbing.size(); ++i) {
            const auto reply = own(xcb_query_tree_reply(c, cookies[i], nullptr));
            Client& client = clients[climbing[i].client];
            if (reply && reply->parent != connection->root() && reply->parent != XCB_NONE) {
                higher.push_back({climbing[i].client, reply->parent});
                continue;
            }
            client.topKnown = true;
            client.top = reply ? std::optional(climbing[i].at) : std::nullopt;
        }
        climbing = std::move(higher);
    }
    for (const Climb& climb : climbing) {
        clients[climb.client].topKnown = true;
        clients[climb.client].top.reset();
    }
}

} // namespace platform::x11
