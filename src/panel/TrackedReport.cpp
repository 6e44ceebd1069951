#include "panel/TrackedReport.h"

#include <QRegularExpression>
#include <QTimeZone>

std::optional<QDateTime> parseCreatedAt(const QString& text) {
    // Qt's ISO reader also takes a bare date or a time without seconds; a report's time has both.
    static const QRegularExpression form(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?(Z|[+-]\d{2}:\d{2})?$)"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::nullopt;
    // Without a designator Qt reads local time; the bridge's times are UTC.
    if (parsed.timeSpec() == Qt::LocalTime)
        parsed.setTimeZone(QTimeZone::utc());
    return parsed.toUTC();
}
