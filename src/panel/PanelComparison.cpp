#include "panel/PanelComparison.h"

#include "foundation/Detach.h"
#include "foundation/Failure.h"
#include "foundation/Within.h"
#include "panel/Annotation.h"
#include "panel/ReportStatus.h"
#include "simulator/Simctl.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

PanelComparison::PanelComparison(platform::SimulatorTool& tool, QObject* parent)
    : QObject(parent), m_tool(tool) {}

void PanelComparison::follow(const std::optional<TrackedReport>& report) {
    const bool reviewing = report && report->sent && report->status == ReportStatus::review;
    const std::optional<QString> inReview = reviewing ? std::optional(report->id) : std::nullopt;
    if (inReview == m_inReview)
        return;
    m_inReview = inReview;
    ++m_reviews;
    if (!reviewing) {
        setAfter({});
        return;
    }
    setAfter({After::State::Capturing, {}, {}, {}});
    detach(capture(report->sent->udid, report->sent->window, m_reviews), this);
}

QCoro::Task<> PanelComparison::capture(QString udid, bool window, quint64 serial) {
    const QPointer<PanelComparison> self(this);
    After after;
    try {
        QByteArray png;
        if (window) {
            png = m_windowPicture ? m_windowPicture() : QByteArray();
            if (png.isEmpty())
                throw Failure(QStringLiteral("The window isn\u2019t on screen"));
        } else {
            png = co_await Simctl::screenshot(m_tool, udid);
        }
        if (!self || serial != m_reviews)
            co_return;
        // Decoded and shrunk away from the UI thread: a device's screenshot is megabytes of PNG.
        QFutureWatcher<QImage> watcher;
        watcher.setFuture(QtConcurrent::run(&Annotation::thumbnail, png));
        if (!watcher.isFinished() && !co_await Within::signal(this, &watcher, &QFutureWatcherBase::finished))
            co_return;
        const QImage thumbnail = watcher.result();
        if (thumbnail.isNull())
            throw Failure(QStringLiteral("Unreadable screenshot"));
        after = {After::State::Taken, png, thumbnail, {}};
    } catch (const Failure& failure) {
        after = {After::State::Failed,
                 {},
                 {},
                 (window ? QStringLiteral("Couldn\u2019t capture the window: ")
                         : QStringLiteral("Couldn\u2019t capture the simulator: ")) +
                     failure.description()};
    }
    if (self && serial == m_reviews)
        setAfter(std::move(after));
}

void PanelComparison::setAfter(After after) {
    if (m_after == after)
        return;
    m_after = std::move(after);
    emit afterChanged();
}
