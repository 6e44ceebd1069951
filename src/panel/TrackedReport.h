#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QSet>
#include <QString>

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>

// What the panel sent of a report's device, to compare with the device at review.
struct SentPicture {
    QString udid;        // the device the report was sent from
    QByteArray png;      // the picture it was sent with, its pins drawn on it
    QImage thumbnail;    // of that picture
    bool window = false; // sent from a desktop window: "After" is that window's picture
};

// The report the panel follows.
struct TrackedReport {
    QString id;      // as the bridge issued it
    QString request; // the trimmed comment that was sent, or an adopted report's "comment"
    QDateTime started;
    QString status; // the last known status; the only field that changes after creation
    // The panel's own submission's picture; none for a report adopted from the bridge's list.
    std::shared_ptr<const SentPicture> sent;

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
