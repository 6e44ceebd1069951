#include "simulator/PanelPlacement.h"

#include "foundation/Geometry.h"

#include <algorithm>
#include <cmath>

namespace PanelPlacement {

QPointF origin(const QRectF& window, const QSizeF& panel, const std::vector<Screen>& screens,
               std::optional<std::size_t> main, double primaryHeight) {
    // Worked out with y growing upwards, as the platform with the most rules about panels counts.
    const QRectF s = Geometry::cocoa(window, primaryHeight);
    const Screen* screen = nullptr;
    for (const Screen& candidate : screens) {
        const QRectF overlap = Geometry::intersection(candidate.frame, window);
        if (overlap.width() > 0 && overlap.height() > 0) {
            screen = &candidate;
            break;
        }
    }
    if (!screen && main && *main < screens.size())
        screen = &screens[*main];
    const std::optional<QRectF> v =
        screen ? std::optional(Geometry::cocoa(screen->usable, primaryHeight)) : std::nullopt;

    double x = s.x() + s.width() + gap;
    if (v && v->x() + v->width() < x + panel.width())
        x = s.x() - gap - panel.width();
    double y = s.y() + s.height() - panel.height();
    if (v && v->y() > y)
        y = v->y();
    // Where it fits on neither side, or the window lies off its screen, the panel stays where it
    // can be reached: inside the usable area, over the window if need be, its top row (the hide
    // and targeting buttons) first.
    if (v) {
        x = std::max(v->x(), std::min(x, v->x() + v->width() - panel.width()));
        y = std::min(y, v->y() + v->height() - panel.height());
    }
    x = std::round(x);
    y = std::round(y);
    return Geometry::cocoa(QRectF(QPointF(x, y), panel), primaryHeight).topLeft();
}

} // namespace PanelPlacement
