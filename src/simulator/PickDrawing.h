#pragma once

#include "simulator/PickResult.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;
class QPainterPath;

// What the pick overlay draws for the element under the mouse, apart from painting it.
namespace PickDrawing {

// An outlined element's stroke and corners, in points: the highlight's and a pin's.
inline constexpr double outlineWidth = 2;
inline constexpr double outlineRadius = 3;

// The longest tag text, in user-perceived characters.
inline constexpr qsizetype longestTag = 48;

// The element's outline and tag: the element's rectangle clipped to the device screen, and its
// identifier (drawn monospaced), else its label, else its role. Nothing for a hit without a frame.
struct Highlight {
    std::optional<QRectF> rect;
    std::optional<QString> label;
    bool mono = false;
};
Highlight highlight(const PickResult& hit, const QRectF& screen);

// The label whole when it has at most `longestTag` user-perceived characters, else the first
// `longestTag` − 1 of them and "…".
QString tagText(const QString& label);

// The tag's rectangle, in the view's coordinates, for a highlight `h` and a measured text size: above
// the highlight, below it when it would leave the top of the view, kept inside the view's width from
// the left first.
QRectF tagRect(const QRectF& h, const QSizeF& text, double viewWidth);
// Where the text starts inside its tag.
QPointF textOrigin(const QRectF& tag);

// A pinned element, drawn the same way over the Simulator and on a report's screenshot: its frame
// outlined when it hit an element, and its number in a round badge on the frame's top-left corner,
// or at its touch point when it hit none.
struct Pin {
    std::optional<QRectF> frame;
    QPointF point;
    int number = 1;
};
// The badge, kept inside `bounds`; `scale` multiplies every size (1 over the desktop, the device's
// pixels per point on a screenshot).
QRectF badgeRect(const Pin& pin, double scale, const QRectF& bounds);
// The area a pin covers when drawn: its outline's stroke and its badge.
QPainterPath pinShape(const Pin& pin, double scale, const QRectF& bounds);
// `translucent`: the outline's fill and soft edges may blend with what lies behind.
void paintPin(QPainter& painter, const Pin& pin, double scale, const QRectF& bounds, bool translucent = true);

} // namespace PickDrawing
