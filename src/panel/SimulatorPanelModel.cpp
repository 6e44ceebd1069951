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
    : QObject(parent), m_tool(tool), m_settings(settings), m_timings(timings), m_tracking(*this),
      m_agentSettings(*this) {
    m_refreshKey = refreshKey();
    m_previewRefresh = new PreviewRefresh(*this, m_timings.previewDelay);
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
    if (visible)
        m_tracking.shown();
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

// Tracking, review actions and the dashboard hand-off.

void SimulatorPanelModel::setReport(const std::optional<TrackedReport>& report) {
    m_tracking.setReport(report);
}

void SimulatorPanelModel::setStatus(const QString& id, const QString& status) {
    m_tracking.setStatus(id, status);
}

void SimulatorPanelModel::setOffline(bool offline) {
    m_tracking.setOffline(offline);
}

void SimulatorPanelModel::setActing(bool acting) {
    m_tracking.setActing(acting);
}

void SimulatorPanelModel::startPolling() {
    m_tracking.start();
}

QCoro::Task<bool> SimulatorPanelModel::poll() {
    return m_tracking.poll();
}

void SimulatorPanelModel::act(const QString& action) {
    m_tracking.act(action);
}

void SimulatorPanelModel::dismissReport() {
    m_tracking.dismiss();
}

void SimulatorPanelModel::openInDashboard() {
    if (!report())
        return;
    if (m_raiseMainWindow)
        m_raiseMainWindow();
    if (m_notifications)
        m_notifications->post(AppNotifications::openTallyrigReport, report()->id);
}

// Agent settings.

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
