#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

// The report the panel follows.
struct TrackedReport {
    QString id;      // as the bridge issued it
    QString request; // the trimmed comment that was sent, or an adopted report's "comment"
    QDateTime started;
    QString status; // the last known status; the only field that changes after creation

    bool operator==(const TrackedReport&) const = default;
};

// A report summary's "createdAt": an ISO-8601 date and time ("2024-05-01T09:30:12.345"), the
// fraction optional; a trailing "Z" or offset is honoured, without one the time is UTC. None when
// the text does not have that form.
std::optional<QDateTime> parseCreatedAt(const QString& text);

// The report that discovery would adopt from the bridge's list of report summaries: the newest
// (greatest "createdAt" text, the first listed on a tie) that is working or in review, whose id can
// be sent back, is not dismissed and is not the one followed. Its start is its "createdAt", or now.
// None for anything but such a list.
std::optional<TrackedReport> newestPending(const nlohmann::json& list, const QSet<QString>& dismissed,
                                           const std::optional<QString>& followed);
