#include "platform/linux/AtspiPlacement.h"

#include "platform/linux/AtspiApplication.h"
#include "platform/linux/AtspiProtocol.h"

#include <cmath>

namespace platform::atspi {

namespace {

// Scales differ by far more than this; sizes rounded to whole pixels by the toolkit differ by less.
constexpr double scaleTolerance = 0.03;
// GTK 4 leaves a few pixels of its window's surface outside the window it describes.
constexpr double surfaceSlack = 0.05;
// A window rounded to whole pixels at its scale lies this far from its place at most.
constexpr double positionSlack = 2;

std::optional<double> scaleBetween(const QRect& own, const QRect& device, bool wholeScales, double slack) {
    if (own.width() <= 0 || own.height() <= 0)
        return std::nullopt;
    const double across = double(device.width()) / own.width();
    const double down = double(device.height()) / own.height();
    if (std::abs(across - down) > slack * across)
        return std::nullopt;
    const double measured = (across + down) / 2;
    // Scales are quarters (1, 1.25, 1.5, 2…), and whole for GTK; the sizes only come close.
    const double step = wholeScales ? 1 : 0.25;
    const double snapped = std::max(step, std::round(measured / step) * step);
    if (std::abs(snapped - measured) <= slack * snapped)
        return snapped;
    if (wholeScales)
        return std::nullopt;
    return measured;
}

} // namespace

std::optional<Placement> placeWindow(const QRect& window, const std::vector<QRect>& contents, bool onScreen,
                                     bool wholeScales) {
    for (const QRect& content : contents) {
        const auto scale =
            scaleBetween(window, content, wholeScales, onScreen ? scaleTolerance : surfaceSlack);
        if (!scale)
            continue;
        if (!onScreen)
            return Placement{QPointF(content.topLeft()), *scale};
        const QPointF at = QPointF(window.topLeft()) * *scale;
        if (std::abs(at.x() - content.x()) <= positionSlack * *scale &&
            std::abs(at.y() - content.y()) <= positionSlack * *scale)
            return Placement{QPointF(), *scale};
    }
    return std::nullopt;
}

Toolkit Application::toolkit() {
    if (const auto known = services->toolkitOf.constFind(service); known != services->toolkitOf.constEnd())
        return *known;
    const auto answers = callAll({property(rootPath, applicationInterface, QStringLiteral("ToolkitName")),
                                  property(rootPath, applicationInterface, QStringLiteral("Version"))});
    const auto name = text(answers[0]);
    if (!name) {
        // One that is silent is asked again once it answers; one that answered with an error is not.
        if (!services->isSilent(service))
            services->toolkitOf.insert(service, Toolkit{});
        return {};
    }
    const QString version = text(answers[1]).value_or(QString());
    Toolkit toolkit;
    const bool gtk = name->compare(QLatin1String("GTK"), Qt::CaseInsensitive) == 0;
    toolkit.wholeScales = gtk;
    toolkit.windowRelative = gtk && version.startsWith(QLatin1String("4."));
    toolkit.chromium = *name == QLatin1String("Chromium");
    toolkit.gecko = *name == QLatin1String("Gecko");
    toolkit.hitsInDevicePixels = toolkit.chromium || toolkit.gecko;
    services->toolkitOf.insert(service, toolkit);
    return toolkit;
}

} // namespace platform::atspi
