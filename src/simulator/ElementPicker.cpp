#include "simulator/ElementPicker.h"

#include "foundation/Geometry.h"

namespace ElementPicker {

PickResult element(platform::Accessibility& accessibility, const QPointF& at, const SimulatorWindow& in,
                   const QRectF& screen, std::chrono::milliseconds timeout) {
    PickResult result{std::nullopt, std::nullopt, QStringLiteral("Screen"), std::nullopt, at, screen, in};
    // Checked first: asking the desktop for the application is a request too on some platforms.
    if (!Geometry::contains(screen, at))
        return result;
    const platform::AXElementRef application = accessibility.application(in.pid, timeout);
    if (!application)
        return result;
    const platform::AXElementRef element =
        accessibility.elementAt(application, static_cast<float>(at.x()), static_cast<float>(at.y()));
    if (!element)
        return result;
    // The device screen itself: nothing of the app lies there.
    if (AX::value<QString>(*element, QStringLiteral("AXSubrole")) == QLatin1String("iOSContentGroup"))
        return result;
    const std::optional<QRectF> frame = AX::frame(*element);
    if (!frame)
        return result;

    std::optional<QString> identifier = AX::value<QString>(*element, QStringLiteral("AXIdentifier"));
    if (identifier && identifier->isEmpty())
        identifier.reset();

    std::optional<QString> label;
    for (const char* attribute : {"AXDescription", "AXLabel", "AXTitle", "AXValue"}) {
        const auto text = AX::value<QString>(*element, QString::fromLatin1(attribute));
        if (text && !text->isEmpty()) {
            label = text;
            break;
        }
    }

    QString role =
        AX::value<QString>(*element, QStringLiteral("AXRole")).value_or(QStringLiteral("AXElement"));
    if (role.startsWith(QLatin1String("AX")))
        role.remove(0, 2);

    result.identifier = std::move(identifier);
    result.label = std::move(label);
    result.role = std::move(role);
    result.frame = frame;
    return result;
}

} // namespace ElementPicker
