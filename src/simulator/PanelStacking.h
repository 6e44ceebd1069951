#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

// When to ask the window manager to put the panel directly above the Simulator window. Some window
// managers place a window exactly above the one named; others only raise it to the top of
// everything. Asking again for a stacking the window manager has already answered would restack
// the panel on every look, so each stacking is asked about once; and once the window manager is
// seen to raise only, the panel is raised only while the Simulator is the frontmost other window,
// so that it never jumps above a window that covers the Simulator.
namespace PanelStacking {

struct State {
    std::optional<std::vector<quint32>> seen; // the stacking last asked about or answered
    bool asked = false;                       // the last look asked
    bool raisesOnly = false;                  // the window manager ignores the window named
};

// `order`: the normal windows on screen, front to back; `directlyAbove`: whether the panel lies
// directly in front of the Simulator window in it. True when the panel should be ordered above the
// Simulator window now.
bool shouldOrderAbove(State& state, const std::vector<quint32>& order, quint32 panel, quint32 simulator,
                      bool directlyAbove);

} // namespace PanelStacking
