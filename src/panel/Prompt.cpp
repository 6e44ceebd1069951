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
    const bool window = first.window.kind == SimulatorWindow::Kind::Window;
    QStringList lines;
    const QString request = comment.trimmed();
    if (!request.isEmpty())
        lines << QStringLiteral("## Request") << QString() << request << QString();
    lines << QStringLiteral("## Where") << QString();
    const qint64 width = qint64(std::trunc(draft.mapping.size.width()));
    const qint64 height = qint64(std::trunc(draft.mapping.size.height()));
    const QString title = first.window.title.isEmpty() ? draft.device.name : first.window.title;
    if (window) {
        lines << QStringLiteral("- App: %1, a desktop window").arg(draft.device.name);
        lines << QStringLiteral("- Window: %1, %2 \u00d7 %3 logical pixels at scale %4")
                     .arg(title)
                     .arg(width)
                     .arg(height)
                     .arg(number(first.window.application ? first.window.application->scale : 1));
    } else {
        lines << QStringLiteral("- App: iOS, in the Simulator");
        lines << QStringLiteral("- Device: %1, %2 \u00d7 %3 points")
                     .arg(draft.device.name)
                     .arg(width)
                     .arg(height);
        lines << QStringLiteral("- Screen: ") + title;
    }
    if (category)
        lines << QStringLiteral("- Category: ") + *category;
    lines << QString() << QStringLiteral("## Elements") << QString();
    lines << (window ? QStringLiteral(
                           "Numbered as on the attached screenshot; positions in logical pixels from the "
                           "window\u2019s top-left corner.")
                     : QStringLiteral(
                           "Numbered as on the attached screenshot; positions in device points from the "
                           "screen\u2019s top-left corner."))
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
            const ElementDetails& details = pin.details;
            if (details.description)
                lines << indent + QStringLiteral("- Description: ") + *details.description;
            if (!details.states.isEmpty())
                lines << indent + QStringLiteral("- States: ") + details.states.join(QStringLiteral(", "));
            if (details.hasDom()) {
                QString tag = QLatin1Char('<') + details.tag.value_or(QStringLiteral("element"));
                if (details.domId)
                    tag += QStringLiteral(" id=\"%1\"").arg(*details.domId);
                if (details.classes)
                    tag += QStringLiteral(" class=\"%1\"").arg(*details.classes);
                lines << indent + QStringLiteral("- Web: `%1>`").arg(tag);
            }
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
