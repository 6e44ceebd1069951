#include "panel/Prompt.h"

#include <cmath>

namespace Prompt {

namespace {

QString number(double v) {
    return QString::number(v, 'g', 12);
}

} // namespace

QString markdown(const Draft& draft, const QString& comment, const std::optional<QString>& category) {
    const std::vector<DevicePlacement> placements = placeAll(draft);
    const PickResult& first = draft.pick();
    QStringList lines;
    const QString request = comment.trimmed();
    if (!request.isEmpty())
        lines << QStringLiteral("## Request") << QString() << request << QString();
    lines << QStringLiteral("## Where") << QString();
    lines << QStringLiteral("- App: iOS, in the Simulator");
    lines << QStringLiteral("- Device: %1, %2 \u00d7 %3 points")
                 .arg(draft.device.name)
                 .arg(qint64(std::trunc(draft.mapping.size.width())))
                 .arg(qint64(std::trunc(draft.mapping.size.height())));
    lines << QStringLiteral("- Screen: ") +
                 (first.window.title.isEmpty() ? draft.device.name : first.window.title);
    if (category)
        lines << QStringLiteral("- Category: ") + *category;
    lines << QString() << QStringLiteral("## Elements") << QString();
    lines << QStringLiteral("Numbered as on the attached screenshot; positions in device points from the "
                            "screen\u2019s top-left corner.")
          << QString();
    for (std::size_t i = 0; i < draft.pins.size(); ++i) {
        const PickResult& pin = draft.pins[i];
        const DevicePlacement& at = placements[i];
        const QString n = QString::number(i + 1) + QStringLiteral(". ");
        const QString indent(n.size(), QLatin1Char(' '));
        if (!at.frame) {
            lines << n + QStringLiteral("No element under the touch point");
        } else {
            lines << n + QStringLiteral("**%1** (%2)")
                             .arg(pin.identifier.value_or(pin.label.value_or(pin.role)), pin.role);
            if (pin.identifier)
                lines << indent + QStringLiteral("- Identifier: `%1`").arg(*pin.identifier);
            if (pin.label)
                lines << indent + QStringLiteral("- Label: ") + *pin.label;
            lines << indent + QStringLiteral("- Frame: x %1, y %2, width %3, height %4")
                                  .arg(number(at.frame->x()), number(at.frame->y()),
                                       number(at.frame->width()), number(at.frame->height()));
        }
        lines << indent + QStringLiteral("- Touch point: x %1, y %2")
                              .arg(number(at.touch.x()), number(at.touch.y()));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace Prompt
