#pragma once

// Objective-C++ only.

class QWindow;
@class NSPanel;

namespace platform::macos {

enum class PanelKind {
    // Beside the Simulator on the normal level, taking the keyboard only when asked.
    Panel,
    // Over the Simulator's window on the floating level, taking the mouse.
    Overlay,
};

// Moves one of our windows' views into an NSPanel of ours, created non-activating: AppKit does not
// fully honour that style when it is set on a window that already exists, and the toolkit creates
// its windows without it. Clicking the panel then leaves the Simulator the active application. Once
// per native window; the panel then follows the window's geometry and visibility, and goes with
// its native window. Nil when the window has no native view.
NSPanel* hostInPanel(QWindow& window, PanelKind kind);

} // namespace platform::macos
