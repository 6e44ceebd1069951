#include "panel/SimulatorPanelModel.h"

#include "foundation/AppNotifications.h"
#include "foundation/Detach.h"
#include "foundation/Settings.h"
#include "foundation/Within.h"
#include "panel/BridgeApi.h"
#include "simulator/PanelError.h"
#include "simulator/Simctl.h"

#include <QBuffer>
#include <QImageReader>
#include <QPointer>

#include <algorithm>

namespace {

const QString noReport = QStringLiteral("The bridge didn\u2019t return a report");

// The pixel size of PNG bytes, read from the image's header; none when they are not a PNG image.
std::optional<QSize> pngSize(const QByteArray& png) {
    QBuffer buffer;
    buffer.setData(png);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer, "png");
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid() || size.isEmpty())
        return std::nullopt;
    return size;
}

} // namespace

SimulatorPanelModel::SimulatorPanelModel(platform::SimulatorTool& tool, Settings& settings,
                                         PanelTimings timings, QObject* parent)
    : QObject(parent), m_tool(tool), m_settings(settings), m_timings(timings), m_agentSettings(*this) {
    m_refreshKey = refreshKey();
    m_previewRefresh = new PreviewRefresh(*this, m_timings.previewDelay);
    m_pollPause.setSingleShot(true);
    m_pollPause.setTimerType(Qt::PreciseTimer);
}

SimulatorPanelModel::~SimulatorPanelModel() = default;

// Controller-fed state.

void SimulatorPanelModel::setController(PanelControl* controller) {
    m_controller = controller;
}

void SimulatorPanelModel::setTrusted(bool trusted) {
    if (std::exchange(m_trusted, trusted) != trusted)
        emit trustedChanged(trusted);
}

void SimulatorPanelModel::setVisible(bool visible) {
    if (std::exchange(m_visible, visible) == visible)
        return;
    emit visibleChanged(visible);
    // The panel shows during the pause after a pass it was hidden for: the next pass comes now,
    // not after the slow pause.
    if (visible && m_pausedHidden && m_pollPause.isActive())
        m_pollPause.start(0);
}

void SimulatorPanelModel::setDeviceTitle(const QString& title) {
    if (m_deviceTitle == title)
        return;
    m_deviceTitle = title;
    emit deviceTitleChanged(title);
}

void SimulatorPanelModel::setPicking(bool picking) {
    if (std::exchange(m_picking, picking) != picking)
        emit pickingChanged(picking);
}

// Composing.

void SimulatorPanelModel::setComment(const QString& comment) {
    if (m_comment == comment)
        return;
    m_comment = comment;
    emit commentChanged(comment);
    updateDerived();
}

void SimulatorPanelModel::setCategory(const std::optional<QString>& category) {
    if (m_category == category)
        return;
    m_category = category;
    emit categoryChanged(category);
    updateDerived();
}

void SimulatorPanelModel::setShowContext(bool show) {
    if (std::exchange(m_showContext, show) == show)
        return;
    emit showContextChanged(show);
    updateDerived();
}

void SimulatorPanelModel::setCapturing(bool capturing) {
    if (std::exchange(m_capturing, capturing) != capturing)
        emit capturingChanged(capturing);
}

void SimulatorPanelModel::setDraft(std::optional<Draft> draft) {
    if (m_draft == draft)
        return;
    m_draft = std::move(draft);
    // A preview on its way belongs to the draft that was.
    ++m_previews;
    emit draftChanged();
    updateDerived();
}

void SimulatorPanelModel::setPacket(const QString& packet) {
    if (m_packet == packet)
        return;
    m_packet = packet;
    emit packetChanged(packet);
}

void SimulatorPanelModel::setSending(bool sending) {
    if (std::exchange(m_sending, sending) == sending)
        return;
    emit sendingChanged(sending);
    updateDerived();
}

void SimulatorPanelModel::setError(const std::optional<QString>& error) {
    if (m_error == error)
        return;
    m_error = error;
    emit errorChanged(error);
}

bool SimulatorPanelModel::canSend() const {
    return m_draft && !m_sending && !m_comment.trimmed().isEmpty();
}

QString SimulatorPanelModel::refreshKey() const {
    return (m_showContext ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('|') + m_comment +
           QLatin1Char('|') + m_category.value_or(QString());
}

void SimulatorPanelModel::updateDerived() {
    const bool sendable = canSend();
    if (std::exchange(m_canSend, sendable) != sendable)
        emit canSendChanged(sendable);
    QString key = refreshKey();
    if (key != m_refreshKey) {
        m_refreshKey = key;
        emit refreshKeyChanged(m_refreshKey);
    }
}

ReportBody SimulatorPanelModel::payload(const Draft& draft, bool screenshot) const {
    return ::payload(draft, m_comment, m_category, screenshot);
}

QCoro::Task<nlohmann::json> SimulatorPanelModel::call(const QString& path, std::optional<ReportBody> body) {
    // The port is read on every call, so a change in the main window applies to the next request.
    return BridgeApi::call(m_settings.bridgePort(), path, std::move(body), m_timings.requestTimeout, this);
}

void SimulatorPanelModel::select(const PickResult& pick) {
    setDraft(std::nullopt);
    setError(std::nullopt);
    setPacket(QString());
    setCapturing(true);
    detach(capture(pick, ++m_captures), this);
}

QCoro::Task<> SimulatorPanelModel::capture(PickResult pick, quint64 serial) {
    const QPointer<SimulatorPanelModel> self(this);
    // The last pick wins: a capture that a later pick overtook leaves no draft, error or end.
    const auto overtaken = [&] { return !self || serial != m_captures; };
    std::optional<QString> failure;
    try {
        const Simctl::Device device =
            co_await Simctl::device(m_tool, pick.window.deviceName(), pick.window.runtime());
        if (overtaken())
            co_return;
        QByteArray png = co_await Simctl::screenshot(m_tool, device.udid);
        if (overtaken())
            co_return;
        const std::optional<QSize> pixels = pngSize(png);
        if (!pixels)
            throw PanelError(QStringLiteral("Unreadable screenshot"));
        Draft draft{pick, device, DeviceMapping(pick.screen, QSizeF(*pixels), device.name), std::move(png)};
        // A screen without width maps every point to infinity, which JSON cannot carry.
        if (!std::isfinite(draft.mapping.factor) || draft.mapping.factor <= 0 || !place(draft).isFinite())
            throw PanelError(QStringLiteral("The device screen has no size"));
        setDraft(std::move(draft));
    } catch (const Failure& failed) {
        // Here and below only what the tool and the bridge throw is shown; a fault of ours goes on
        // to the task's runner, which logs it.
        failure = failed.description();
    }
    if (overtaken())
        co_return;
    if (failure)
        setError(QStringLiteral("Couldn\u2019t capture the simulator: ") + *failure);
    setCapturing(false);
}

void SimulatorPanelModel::send() {
    if (!canSend())
        return;
    setSending(true);
    setError(std::nullopt);
    detach(submit(payload(*m_draft, true), m_comment.trimmed()), this);
}

QCoro::Task<> SimulatorPanelModel::submit(ReportBody body, QString request) {
    const QPointer<SimulatorPanelModel> self(this);
    nlohmann::json answer;
    try {
        answer = co_await call(QStringLiteral("/report"), std::move(body));
    } catch (const Failure& failure) {
        if (self) {
            setError(failure.description());
            setSending(false);
        }
        co_return;
    }
    if (!self)
        co_return;
    const std::optional<QString> id = BridgeApi::text(answer, "id");
    // A report whose id cannot go back to the bridge could never be followed.
    if (!id || !BridgeApi::sendableId(*id)) {
        setError(noReport);
        setSending(false);
        co_return;
    }
    setReport(TrackedReport{*id, request, QDateTime::currentDateTimeUtc(),
                            BridgeApi::text(answer, "status").value_or(QStringLiteral("sent"))});
    setDraft(std::nullopt);
    setComment(QString());
    setCategory(std::nullopt);
    setPacket(QString());
    setError(std::nullopt);
    try {
        co_await poll();
    } catch (const std::exception& unexpected) {
        // Whatever the pass did, the submission is over: Send must work again.
        qWarning("Tallyrig: the polling pass after a submission failed: %s", unexpected.what());
    }
    if (self)
        setSending(false);
}

void SimulatorPanelModel::discard() {
    setDraft(std::nullopt);
    setComment(QString());
    setCategory(std::nullopt);
    setPacket(QString());
    setError(std::nullopt);
}

QCoro::Task<> SimulatorPanelModel::refreshPacket() {
    if (!m_showContext || !m_draft)
        co_return;
    const QPointer<SimulatorPanelModel> self(this);
    // Only the answer to the latest refresh of the current draft is shown.
    const quint64 serial = ++m_previews;
    QString text;
    try {
        const nlohmann::json answer = co_await call(QStringLiteral("/packet"), payload(*m_draft, false));
        if (!answer.is_object() && !answer.is_array())
            throw Failure(QStringLiteral("The bridge\u2019s answer isn\u2019t a JSON object"));
        // Object members come out sorted by key, and "/" is never escaped.
        const std::string dumped = answer.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        text = QString::fromUtf8(dumped.data(), qsizetype(dumped.size()));
    } catch (const Failure& failure) {
        text = QStringLiteral("Preview unavailable: ") + failure.description();
    }
    if (self && serial == m_previews)
        setPacket(text);
}

// Tracking.

void SimulatorPanelModel::setReport(const std::optional<TrackedReport>& report) {
    if (m_report == report)
        return;
    m_report = report;
    emit reportChanged();
}

void SimulatorPanelModel::setStatus(const QString& id, const QString& status) {
    if (!m_report || m_report->id != id)
        return;
    TrackedReport updated = *m_report;
    updated.status = status;
    setReport(updated);
}

void SimulatorPanelModel::setOffline(bool offline) {
    if (std::exchange(m_offline, offline) != offline)
        emit offlineChanged(offline);
}

void SimulatorPanelModel::startPolling() {
    if (std::exchange(m_polling, true))
        return;
    detach(pollLoop(), this);
}

QCoro::Task<> SimulatorPanelModel::pollLoop() {
    const QPointer<SimulatorPanelModel> self(this);
    const PanelTimings timings = m_timings;
    while (self) {
        const bool hidden = !self->m_visible;
        const bool soon = co_await self->poll();
        if (!self)
            break;
        self->m_pausedHidden = hidden;
        self->m_pollPause.start(soon ? timings.fastPoll : timings.slowPoll);
        // The pause ends inside the model's destruction, even once the event loop has stopped.
        // Kept out of the condition (GCC 12, see the panel controller's loop).
        const bool slept = co_await Within::signal(self.data(), &self->m_pollPause, &QTimer::timeout);
        if (!slept)
            break;
    }
}

QCoro::Task<bool> SimulatorPanelModel::poll() {
    if (!m_visible)
        co_return false;
    const QPointer<SimulatorPanelModel> self(this);

    // Only what the bridge and the network throw means offline: a fault of ours must surface.
    nlohmann::json settings;
    bool reached = true;
    try {
        settings = co_await call(QStringLiteral("/api/settings"));
    } catch (const Failure&) {
        reached = false;
    }
    if (!self)
        co_return false;
    if (!reached) {
        setOffline(true);
        co_return false;
    }
    applySettings(settings);
    setOffline(false);

    if (m_report) {
        const QString id = m_report->id;
        const std::optional<QString> path = BridgeApi::statusPath(id);
        nlohmann::json answer;
        bool refused = !path;
        bool failed = false;
        try {
            if (path)
                answer = co_await call(*path);
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

QCoro::Task<> SimulatorPanelModel::discover() {
    const QPointer<SimulatorPanelModel> self(this);
    const nlohmann::json list = co_await call(QStringLiteral("/api/reports"));
    if (!self)
        co_return;
    std::optional<TrackedReport> newest =
        newestPending(list, m_dismissed, m_report ? std::optional(m_report->id) : std::nullopt);
    if (!newest || (m_report && ReportStatus::isPending(m_report->status)))
        co_return;
    setReport(*newest);
}

// Review actions and settings.

void SimulatorPanelModel::setActing(bool acting) {
    if (std::exchange(m_acting, acting) != acting)
        emit actingChanged(acting);
}

void SimulatorPanelModel::act(const QString& action) {
    if (!m_report)
        return;
    setActing(true);
    setError(std::nullopt);
    detach(review(m_report->id, action), this);
}

QCoro::Task<> SimulatorPanelModel::review(QString id, QString action) {
    const QPointer<SimulatorPanelModel> self(this);
    ReportBody empty;
    try {
        const std::optional<QString> path = BridgeApi::reviewPath(id, action);
        if (!path)
            throw PanelError(
                QStringLiteral("This report\u2019s identifier can\u2019t be sent to the bridge"));
        const nlohmann::json answer = co_await call(*path, std::move(empty));
        if (!self)
            co_return;
        // Applied only while the panel still follows the report the action was about.
        if (const std::optional<QString> status = BridgeApi::text(answer, "status"))
            setStatus(id, *status);
    } catch (const Failure& failure) {
        if (!self)
            co_return;
        setError(failure.description());
    }
    setActing(false);
}

void SimulatorPanelModel::openInDashboard() {
    if (!m_report)
        return;
    if (m_raiseMainWindow)
        m_raiseMainWindow();
    if (m_notifications)
        m_notifications->post(AppNotifications::openTallyrigReport, m_report->id);
}

void SimulatorPanelModel::dismissReport() {
    if (m_report)
        m_dismissed.insert(m_report->id);
    setReport(std::nullopt);
}

void SimulatorPanelModel::setSetting(const QString& key, bool value) {
    m_agentSettings.change(key, value);
}

void SimulatorPanelModel::applySettings(const nlohmann::json& answer) {
    m_agentSettings.apply(answer);
}

void SimulatorPanelModel::setAutoDispatch(std::optional<bool> value) {
    m_agentSettings.setAutoDispatch(value);
}

void SimulatorPanelModel::setAutoRelaunch(std::optional<bool> value) {
    m_agentSettings.setAutoRelaunch(value);
}
