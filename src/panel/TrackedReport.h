#pragma once

#include <QDateTime>
#include <QString>

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
