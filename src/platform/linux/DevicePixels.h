#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>

#include <functional>
#include <vector>

namespace platform::x11 {

// Between the X server's device pixels and the toolkit's logical pixels, which are the desktop
// points everything above the ports works in. Each screen keeps its top-left corner in both and
// divides the rest by its device pixel ratio, as the toolkit maps its own windows.
class DevicePixels {
public:
    struct Screen {
        QRectF logical;
        double ratio = 1;
    };
    // The screens as they are at each conversion; the application's screens by default, none (so
    // nothing is scaled) without a GUI application.
    using ScreenSource = std::function<std::vector<Screen>()>;

    explicit DevicePixels(ScreenSource screens = applicationScreens);

    QPointF toLogical(const QPointF& device) const;
    QRectF toLogical(const QRectF& device) const;
    QPointF toDevice(const QPointF& logical) const;
    // Whole device pixels enclosing the area.
    QRect toDevice(const QRectF& logical) const;

    static std::vector<Screen> applicationScreens();

private:
    // The screen a point lies on in either space; the first screen for a point off every screen.
    const Screen* screenAt(const std::vector<Screen>& screens, const QPointF& point, bool device) const;

    ScreenSource m_screens;
};

} // namespace platform::x11
