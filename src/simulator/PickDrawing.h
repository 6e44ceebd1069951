#pragma once

#include "simulator/PickResult.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

// What the pick overlay draws for the element under the mouse, apart from painting it.
namespace PickDrawing {

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

} // namespace PickDrawing
