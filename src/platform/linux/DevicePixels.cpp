#include "platform/linux/DevicePixels.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace platform::x11 {

namespace {

QRectF deviceArea(const DevicePixels::Screen& screen) {
    return {screen.logical.topLeft(), screen.logical.size() * screen.ratio};
}

bool usable(double ratio) {
    return std::isfinite(ratio) && ratio > 0;
}

} // namespace

DevicePixels::DevicePixels(ScreenSource screens) : m_screens(std::move(screens)) {}

std::vector<DevicePixels::Screen> DevicePixels::applicationScreens() {
    std::vector<Screen> screens;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return screens;
    // The primary screen first: points off every screen take its ratio.
    QList<QScreen*> all = QGuiApplication::screens();
    if (QScreen* primary = QGuiApplication::primaryScreen(); primary && all.removeOne(primary))
        all.prepend(primary);
    for (const QScreen* screen : std::as_const(all))
        screens.push_back({QRectF(screen->geometry()), screen->devicePixelRatio()});
    return screens;
}

const DevicePixels::Screen* DevicePixels::screenAt(const std::vector<Screen>& screens, const QPointF& point,
                                                   bool device) const {
    for (const Screen& screen : screens) {
        const QRectF area = device ? deviceArea(screen) : screen.logical;
        if (area.contains(point))
            return &screen;
    }
    return screens.empty() ? nullptr : &screens.front();
}

QPointF DevicePixels::toLogical(const QPointF& device) const {
    const std::vector<Screen> screens = m_screens();
    const Screen* screen = screenAt(screens, device, true);
    if (!screen || !usable(screen->ratio))
        return device;
    const QPointF origin = screen->logical.topLeft();
    return origin + (device - origin) / screen->ratio;
}

QRectF DevicePixels::toLogical(const QRectF& device) const {
    // By the screen under the top-left corner, so that a window and everything inside it that
    // starts on the same screen take the same ratio.
    const std::vector<Screen> screens = m_screens();
    const Screen* screen = screenAt(screens, device.topLeft(), true);
    if (!screen || !usable(screen->ratio))
        return device;
    const QPointF origin = screen->logical.topLeft();
    return {origin + (device.topLeft() - origin) / screen->ratio, device.size() / screen->ratio};
}

QPointF DevicePixels::toDevice(const QPointF& logical) const {
    const std::vector<Screen> screens = m_screens();
    const Screen* screen = screenAt(screens, logical, false);
    if (!screen || !usable(screen->ratio))
        return logical;
    const QPointF origin = screen->logical.topLeft();
    return origin + (logical - origin) * screen->ratio;
}

QRect DevicePixels::toDevice(const QRectF& logical) const {
    const std::vector<Screen> screens = m_screens();
    const Screen* screen = screenAt(screens, logical.topLeft(), false);
    const double ratio = screen && usable(screen->ratio) ? screen->ratio : 1;
    const QPointF origin = screen ? screen->logical.topLeft() : QPointF();
    const QPointF topLeft = origin + (logical.topLeft() - origin) * ratio;
    const QPointF bottomRight = topLeft + QPointF(logical.width(), logical.height()) * ratio;
    const auto left = std::floor(topLeft.x()), top = std::floor(topLeft.y());
    return QRect(int(left), int(top), int(std::ceil(bottomRight.x()) - left),
                 int(std::ceil(bottomRight.y()) - top));
}

} // namespace platform::x11
