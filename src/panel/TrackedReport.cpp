#include "panel/TrackedReport.h"

#include "panel/BridgeApi.h"
#include "panel/ReportStatus.h"

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

std::optional<TrackedReport> newestPending(const nlohmann::json& list, const QSet<QString>& dismissed,
                                           const std::optional<QString>& followed) {
    if (!list.is_array())
        return std::nullopt;
    const nlohmann::json* newest = nullptr;
    std::string newestCreated;
    for (const nlohmann::json& summary : list) {
        const std::optional<QString> id = BridgeApi::text(summary, "id");
        const std::optional<QString> status = BridgeApi::text(summary, "status");
        if (!id || !status || !BridgeApi::sendableId(*id) || dismissed.contains(*id) || followed == *id ||
            !ReportStatus::isPending(*status))
            continue;
        const auto created = summary.find("createdAt");
        const std::string createdText =
            created != summary.end() && created->is_string() ? created->get<std::string>() : std::string();
        // Texts compared character by character; the first listed wins a tie.
        if (!newest || createdText > newestCreated) {
            newest = &summary;
            newestCreated = createdText;
        }
    }
    if (!newest)
        return std::nullopt;
    const std::optional<QString> created = BridgeApi::text(*newest, "createdAt");
    const std::optional<QDateTime> started = created ? parseCreatedAt(*created) : std::nullopt;
    return TrackedReport{
        *BridgeApi::text(*newest, "id"), BridgeApi::text(*newest, "comment").value_or(QString()),
        started.value_or(QDateTime::currentDateTimeUtc()), *BridgeApi::text(*newest, "status"), nullptr};
}
