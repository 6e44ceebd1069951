#include "simulator/PickDrawing.h"

#include "foundation/Brand.h"
#include "foundation/Geometry.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace PickDrawing {
namespace {

constexpr double tagGapAbove = 6;
constexpr double tagGapBelow = 2;
constexpr double tagPaddingX = 5;
constexpr double tagPaddingY = 2;
// A pin's sizes at scale 1, in points.
constexpr double badgeDiameter = 18;
constexpr double badgeRing = 1.5;
constexpr double badgeFontSize = 11;
constexpr double outlineFill = 0.12;

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

QRectF badgeRect(const Pin& pin, double scale, const QRectF& bounds) {
    const double d = badgeDiameter * scale;
    const QPointF centre = pin.frame ? pin.frame->topLeft() : pin.point;
    QRectF badge(centre - QPointF(d / 2, d / 2), QSizeF(d, d));
    // Inside the bounds, from the top-left first, as the tag is.
    badge.moveLeft(std::min(std::max(badge.left(), bounds.left()), bounds.right() - d));
    badge.moveTop(std::min(std::max(badge.top(), bounds.top()), bounds.bottom() - d));
    return badge;
}

QPainterPath pinShape(const Pin& pin, double scale, const QRectF& bounds) {
    QPainterPath shape;
    if (pin.frame) {
        QPainterPath outline;
        outline.addRoundedRect(*pin.frame, outlineRadius * scale, outlineRadius * scale);
        shape = QPainterPathStroker(QPen(Qt::black, outlineWidth * scale)).createStroke(outline);
    }
    QPainterPath badge;
    badge.addEllipse(badgeRect(pin, scale, bounds));
    return shape.united(badge);
}

void paintPin(QPainter& painter, const Pin& pin, double scale, const QRectF& bounds, bool translucent) {
    const QColor brand(Brand::rgb);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, translucent);
    if (pin.frame) {
        QPainterPath outline;
        outline.addRoundedRect(*pin.frame, outlineRadius * scale, outlineRadius * scale);
        if (translucent) {
            QColor fill = brand;
            fill.setAlphaF(outlineFill);
            painter.fillPath(outline, fill);
        }
        painter.strokePath(outline, QPen(brand, outlineWidth * scale));
    }
    const QRectF badge = badgeRect(pin, scale, bounds);
    painter.setPen(QPen(Qt::white, badgeRing * scale));
    painter.setBrush(brand);
    painter.drawEllipse(badge.adjusted(badgeRing * scale / 2, badgeRing * scale / 2, -badgeRing * scale / 2,
                                       -badgeRing * scale / 2));
    QFont font;
    font.setPixelSize(std::max(1, int(std::lround(badgeFontSize * scale))));
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.drawText(badge, Qt::AlignCenter, QString::number(pin.number));
    painter.restore();
}

} // namespace PickDrawing
