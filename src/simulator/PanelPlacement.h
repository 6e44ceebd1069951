#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <vector>

// Where the floating panel goes beside the Simulator's device window.
namespace PanelPlacement {

// The gap between the panel and the window.
inline constexpr double gap = 8;

// One screen, top-left global coordinates: its whole frame, and the part that windows may use (the
// frame minus panels and docks).
struct Screen {
    QRectF frame;
    QRectF usable;
};

// The panel's top-left corner (top-left global coordinates) for a window frame and a panel size:
// right of the window with its top level with the window's, to the left when the usable area of the
// window's screen ends first, raised so that it never passes that area's bottom, rounded to whole
// points; and in any case inside that usable area (its left and top edges first when it is larger).
// The screen is the first of `screens` whose frame meets the window, else `screens[main]`; with
// neither, nothing limits the panel. `primaryHeight` relates the two coordinate conventions.
QPointF origin(const QRectF& window, const QSizeF& panel, const std::vector<Screen>& screens,
               std::optional<std::size_t> main, double primaryHeight);

} // namespace PanelPlacement
