#include "panel/PanelTracking.h"

#include "foundation/Detach.h"
#include "foundation/Within.h"
#include "panel/BridgeApi.h"
#include "panel/PanelAgentSettings.h"
#include "panel/ReportStatus.h"

#include <QPointer>

#include <utility>

// Every task below touches nothing after a wait before it has seen the part is still there.

PanelTracking::PanelTracking(const BridgeApi::Client& bridge, PanelAgentSettings& settings,
                             PanelTimings timings, QObject* parent)
    : QObject(parent), m_bridge(bridge), m_settings(settings), m_timings(timings) {
    m_pollPause.setSingleShot(true);
    m_pollPause.setTimerType(Qt::PreciseTimer);
}

void PanelTracking::setReport(const std::optional<TrackedReport>& report) {
    if (m_report == report)
        return;
    m_report = report;
    emit reportChanged();
}

void PanelTracking::setStatus(const QString& id, const QString& status) {
    if (!m_report || m_report->id != id)
        return;
    TrackedReport updated = *m_report;
    updated.status = status;
    setReport(updated);
}

void PanelTracking::setOffline(bool offline) {
    if (std::exchange(m_offline, offline) != offline)
        emit offlineChanged(offline);
}

void PanelTracking::setActing(bool acting) {
    if (std::exchange(m_acting, acting) != acting)
        emit actingChanged(acting);
}

void PanelTracking::start() {
    if (std::exchange(m_polling, true))
        return;
    detach(loop(), this);
}

void PanelTracking::setVisible(bool visible) {
    if (std::exchange(m_visible, visible) == visible)
        return;
    emit visibleChanged(visible);
    // The panel shows during the pause after a pass it was hidden for: the next pass comes now,
    // not after the slow pause.
    if (visible && m_pausedHidden && m_pollPause.isActive())
        m_pollPause.start(0);
}

QCoro::Task<> PanelTracking::loop() {
    const QPointer<PanelTracking> self(this);
    while (self) {
        const bool hidden = !m_visible;
        const bool soon = co_await poll();
        if (!self)
            break;
        m_pausedHidden = hidden;
        m_pollPause.start(soon ? m_timings.fastPoll : m_timings.slowPoll);
        // The pause ends inside the part's destruction, even once the event loop has stopped.
        // Kept out of the condition: there, GCC 12 resumed a dead frame.
        const bool slept = co_await Within::signal(self.data(), &m_pollPause, &QTimer::timeout);
        if (!slept)
            break;
    }
}

QCoro::Task<bool> PanelTracking::poll() {
    if (!m_visible)
        co_return false;
    const QPointer<PanelTracking> self(this);

    // Only what the bridge and the network throw means offline: a fault of ours must surface.
    nlohmann::json settings;
    bool reached = true;
    try {
        settings = co_await m_bridge.call(QStringLiteral("/api/settings"));
    } catch (const Failure&) {
        reached = false;
    }
    if (!self)
        co_return false;
    if (!reached) {
        setOffline(true);
        co_return false;
    }
    m_settings.apply(settings);
    setOffline(false);

    if (m_report) {
        const QString id = m_report->id;
        const std::optional<QString> path = BridgeApi::statusPath(id);
        nlohmann::json answer;
        bool refused = !path;
        bool failed = false;
        try {
            if (path)
                answer = co_await m_bridge.call(*path);
        } catch (const BridgeApi::Refusal& refusal) {
            // A fault inside the bridge says nothing about the report: offline for this pass.
            if (refusal.inBridge())
                failed = true;
            else
                refused = true;
        } catch (const PanelError&) {
            refused = true;
        } catch (const Failure&) {
            failed = true;
        }
        if (!self)
            co_return false;
        if (failed) {
            setOffline(true);
            co_return false;
        }
        if (refused) {
            // The bridge no longer vouches for it (or it cannot be asked about it); a report sent
            // meanwhile is another one and stays.
            if (m_report && m_report->id == id)
                setReport(std::nullopt);
        } else if (const std::optional<QString> status = BridgeApi::text(answer, "status")) {
            setStatus(id, *status);
            if (ReportStatus::isPending(*status))
                co_return true;
        }
    }

    try {
        co_await discover();
    } catch (const Failure&) {
        if (self)
            setOffline(true);
        co_return false;
    }
    if (!self)
        co_return false;
    co_return m_report&& ReportStatus::isWorking(m_report->status);
}

QCoro::Task<> PanelTracking::discover() {
    const QPointer<PanelTracking> self(this);
    const nlohmann::json list = co_await m_bridge.call(QStringLiteral("/api/reports"));
    if (!self)
        co_return;
    std::optional<TrackedReport> newest =
        newestPending(list, m_dismissed, m_report ? std::optional(m_report->id) : std::nullopt);
    if (!newest || (m_report && ReportStatus::isPending(m_report->status)))
        co_return;
    setReport(*newest);
}

void PanelTracking::act(const QString& action) {
    if (!m_report)
        return;
    setActing(true);
    emit errorReported(std::nullopt);
    detach(review(m_report->id, action), this);
}

QCoro::Task<> PanelTracking::review(QString id, QString action) {
    const QPointer<PanelTracking> self(this);
    ReportBody empty;
    try {
        const std::optional<QString> path = BridgeApi::reviewPath(id, action);
        if (!path)
            throw PanelError(
                QStringLiteral("This report\u2019s identifier can\u2019t be sent to the bridge"));
        const nlohmann::json answer = co_await m_bridge.call(*path, std::move(empty));
        if (!self)
            co_return;
        // Applied only while the panel still follows the report the action was about.
        if (const std::optional<QString> status = BridgeApi::text(answer, "status"))
            setStatus(id, *status);
    } catch (const Failure& failure) {
        // Only the bridge's failures are the user's to read; a fault of ours goes on to the
        // task's runner, which logs it.
        if (!self)
            co_return;
        emit errorReported(failure.description());
    }
    setActing(false);
}

void PanelTracking::dismiss() {
    if (m_report)
        m_dismissed.insert(m_report->id);
    setReport(std::nullopt);
}
