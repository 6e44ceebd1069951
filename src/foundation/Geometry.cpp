#include "foundation/Geometry.h"

#include <algorithm>
#include <cmath>

namespace Geometry {

QRectF cocoa(const QRectF& rect, double primaryHeight) {
    return {rect.x(), primaryHeight - (rect.y() + rect.height()), rect.width(), rect.height()};
}

QPointF cocoa(const QPointF& point, double primaryHeight) {
    return {point.x(), primaryHeight - point.y()};
}

bool contains(const QRectF& rect, const QPointF& point) {
    return rect.x() <= point.x() && point.x() < rect.x() + rect.width() && rect.y() <= point.y() &&
           point.y() < rect.y() + rect.height();
}

bool contains(const QRectF& outer, const QRectF& inner) {
    return outer.x() <= inner.x() && outer.y() <= inner.y() &&
           inner.x() + inner.width() <= outer.x() + outer.width() &&
           inner.y() + inner.height() <= outer.y() + outer.height();
}

QRectF integral(const QRectF& rect) {
    const double left = std::floor(rect.x());
    const double top = std::floor(rect.y());
    const double right = std::ceil(rect.x() + rect.width());
    const double bottom = std::ceil(rect.y() + rect.height());
    return {left, top, right - left, bottom - top};
}

QRectF intersection(const QRectF& a, const QRectF& b) {
    const double left = std::max(a.x(), b.x());
    const double top = std::max(a.y(), b.y());
    const double right = std::min(a.x() + a.width(), b.x() + b.width());
    const double bottom = std::min(a.y() + a.height(), b.y() + b.height());
    if (right <= left || bottom <= top)
        return {};
    return {left, top, right - left, bottom - top};
}

} // namespace Geometry
