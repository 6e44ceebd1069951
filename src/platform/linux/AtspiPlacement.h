#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>

#include <optional>
#include <vector>

namespace platform::atspi {

// How a toolkit's positions map to the X server's device pixels: device = origin + position × scale.
struct Placement {
    QPointF origin;
    double scale = 1;

    QRectF toDevice(const QRect& own) const {
        return {origin.x() + own.x() * scale, origin.y() + own.y() * scale, own.width() * scale,
                own.height() * scale};
    }
    QPointF toOwn(const QPointF& device) const { return (device - origin) / scale; }
};

// The placement that makes a window the toolkit describes (in its own pixels) one of the process's
// X windows (`contents`, device pixels, front to back): the first of them whose size is the
// window's times one scale. With `onScreen` the toolkit's positions are on the screen and the
// origin stays at 0, so the position has to fit too; otherwise they are relative to the window
// and the origin is that window's corner. None when no window fits.
std::optional<Placement> placeWindow(const QRect& window, const std::vector<QRect>& contents, bool onScreen,
                                     bool wholeScales);

} // namespace platform::atspi
