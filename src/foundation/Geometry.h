#pragma once

#include <QPointF>
#include <QRectF>

// Desktop rectangles in points. Two conventions meet here: top-left global coordinates (the window
// list, accessibility, everything the targeting code stores) and bottom-left global coordinates
// (the application's own windows on macOS), related by the primary display's height.
namespace Geometry {

// (minX, H − maxY, width, height); the same formula converts back.
QRectF cocoa(const QRectF& rect, double primaryHeight);
QPointF cocoa(const QPointF& point, double primaryHeight);

// Half-open: left and top edges inside, right and bottom edges outside.
bool contains(const QRectF& rect, const QPointF& point);
// The inner rectangle lies wholly inside; shared edges allowed.
bool contains(const QRectF& outer, const QRectF& inner);

// The smallest rectangle with whole-number edges that encloses the rectangle.
QRectF integral(const QRectF& rect);

// The overlap; empty (zero size) when the rectangles do not overlap.
QRectF intersection(const QRectF& a, const QRectF& b);

} // namespace Geometry
