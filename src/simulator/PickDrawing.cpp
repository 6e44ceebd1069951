#include "simulator/PickDrawing.h"

#include "foundation/Geometry.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace PickDrawing {
namespace {

constexpr double tagGapAbove = 6;
constexpr double tagGapBelow = 2;
constexpr double tagPaddingX = 5;
constexpr double tagPaddingY = 2;

} // namespace

Highlight highlight(const PickResult& hit, const QRectF& screen) {
    if (!hit.frame)
        return {};
    Highlight result;
    result.rect = Geometry::intersection(*hit.frame, screen);
    if (hit.identifier) {
        result.label = hit.identifier;
        result.mono = true;
    } else {
        result.label = hit.label ? *hit.label : hit.role;
    }
    return result;
}

QString tagText(const QString& label) {
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, label);
    qsizetype count = 0;
    qsizetype cut = 0; // where the first longestTag − 1 characters end
    while (graphemes.toNextBoundary() >= 0) {
        ++count;
        if (count == longestTag - 1)
            cut = graphemes.position();
        if (count > longestTag)
            return label.left(cut) + QChar(0x2026);
    }
    return label;
}

QRectF tagRect(const QRectF& h, const QSizeF& text, double viewWidth) {
    const double width = text.width() + 2 * tagPaddingX;
    const double height = text.height() + 2 * tagPaddingY;
    double x = h.x();
    double y = h.y() - text.height() - tagGapAbove;
    if (y < 0)
        y = h.y() + h.height() + tagGapBelow;
    x = std::max(x, 0.0);
    x = std::min(x, viewWidth - width);
    return {x, y, width, height};
}

QPointF textOrigin(const QRectF& tag) {
    return tag.topLeft() + QPointF(tagPaddingX, tagPaddingY);
}

} // namespace PickDrawing
