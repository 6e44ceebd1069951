#pragma once

#include "panel/TrackedReport.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace platform {
class SimulatorTool;
}

// Before and after, for a report in review: the panel's own picture of it as sent, and a fresh
// screenshot of the same device, taken when the report reaches review. Nothing of it goes to the
// bridge.
class PanelComparison : public QObject {
    Q_OBJECT
public:
    struct After {
        enum class State { None, Capturing, Taken, Failed };
        State state = State::None;
        QByteArray png;
        QImage thumbnail;
        QString error; // worded for the user, while Failed
        bool operator==(const After& other) const {
            return state == other.state && png == other.png && error == other.error;
        }
    };

    // The tool outlives the part.
    explicit PanelComparison(platform::SimulatorTool& tool, QObject* parent = nullptr);

    const After& after() const { return m_after; }
    // Called whenever the followed report changes: one capture each time a report the panel sent
    // reaches review.
    void follow(const std::optional<TrackedReport>& report);
    // Where a desktop window's "After" comes from: the followed window as it shows now, as PNG.
    void setWindowPicture(std::function<QByteArray()> picture) { m_windowPicture = std::move(picture); }

signals:
    void afterChanged();

private:
    QCoro::Task<> capture(QString udid, bool window, quint64 serial);
    void setAfter(After after);

    platform::SimulatorTool& m_tool;
    std::function<QByteArray()> m_windowPicture;
    // The report in review that the current picture is for, and a count of the reviews.
    std::optional<QString> m_inReview;
    quint64 m_reviews = 0;
    After m_after;
};
