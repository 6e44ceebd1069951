#include "simulator/PanelStacking.h"

#include <algorithm>

namespace PanelStacking {

bool shouldOrderAbove(State& state, const std::vector<quint32>& order, quint32 panel, quint32 simulator,
                      bool directlyAbove) {
    if (directlyAbove) {
        state.seen.reset();
        state.asked = false;
        return false;
    }
    // A window the window manager has not taken on yet cannot be restacked; it is asked about once
    // it is listed.
    if (std::find(order.begin(), order.end(), panel) == order.end()) {
        state.asked = false;
        return false;
    }
    if (state.asked) {
        // This is the window manager's answer; it did not put the panel where it was asked to.
        state.asked = false;
        if (!order.empty() && order.front() == panel)
            state.raisesOnly = true;
        state.seen = order;
        return false;
    }
    if (state.seen == order)
        return false;
    state.seen = order;
    if (state.raisesOnly) {
        const auto frontOther =
            std::find_if(order.begin(), order.end(), [&](quint32 w) { return w != panel; });
        if (frontOther == order.end() || *frontOther != simulator)
            return false;
    }
    state.asked = true;
    return true;
}

} // namespace PanelStacking
