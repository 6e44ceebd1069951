#include "panel/SimulatorPanelModel.h"

#include "foundation/AppNotifications.h"

#include <utility>

SimulatorPanelModel::SimulatorPanelModel(platform::SimulatorTool& tool, Settings& settings,
                                         PanelTimings timings, QObject* parent)
    : QObject(parent), m_timings(timings), m_bridge(settings, timings.requestTimeout, this),
      m_agentSettings(m_bridge), m_tracking(m_bridge, m_agentSettings, timings),
      m_composing(m_bridge, tool, m_tracking), m_comparison(tool),
      m_previewRefresh(m_composing, timings.previewDelay) {
    connect(&m_agentSettings, &PanelAgentSettings::autoDispatchChanged, this,
            &SimulatorPanelModel::autoDispatchChanged);
    connect(&m_agentSettings, &PanelAgentSettings::autoRelaunchChanged, this,
            &SimulatorPanelModel::autoRelaunchChanged);
    connect(&m_agentSettings, &PanelAgentSettings::failed, this,
            [this](const QString& description) { setError(description); });

    connect(&m_tracking, &PanelTracking::visibleChanged, this, &SimulatorPanelModel::visibleChanged);
    connect(&m_tracking, &PanelTracking::reportChanged, this, &SimulatorPanelModel::reportChanged);
    connect(&m_tracking, &PanelTracking::offlineChanged, this, &SimulatorPanelModel::offlineChanged);
    connect(&m_tracking, &PanelTracking::actingChanged, this, &SimulatorPanelModel::actingChanged);
    connect(&m_tracking, &PanelTracking::errorReported, this, &SimulatorPanelModel::setError);
    connect(&m_tracking, &PanelTracking::reportChanged, this, [this] { m_comparison.follow(report()); });
    connect(&m_comparison, &PanelComparison::afterChanged, this, &SimulatorPanelModel::afterChanged);

    connect(&m_composing, &PanelComposing::capturingChanged, this, &SimulatorPanelModel::capturingChanged);
    connect(&m_composing, &PanelComposing::draftChanged, this, &SimulatorPanelModel::draftChanged);
    connect(&m_composing, &PanelComposing::picturesChanged, this, &SimulatorPanelModel::picturesChanged);
    connect(&m_composing, &PanelComposing::commentChanged, this, &SimulatorPanelModel::commentChanged);
    connect(&m_composing, &PanelComposing::categoryChanged, this, &SimulatorPanelModel::categoryChanged);
    connect(&m_composing, &PanelComposing::showContextChanged, this,
            &SimulatorPanelModel::showContextChanged);
    connect(&m_composing, &PanelComposing::packetChanged, this, &SimulatorPanelModel::packetChanged);
    connect(&m_composing, &PanelComposing::sendingChanged, this, &SimulatorPanelModel::sendingChanged);
    connect(&m_composing, &PanelComposing::canSendChanged, this, &SimulatorPanelModel::canSendChanged);
    connect(&m_composing, &PanelComposing::refreshKeyChanged, this, &SimulatorPanelModel::refreshKeyChanged);
    connect(&m_composing, &PanelComposing::errorReported, this, &SimulatorPanelModel::setError);
}

SimulatorPanelModel::~SimulatorPanelModel() = default;

// Controller-fed state.

void SimulatorPanelModel::setController(PanelControl* controller) {
    m_controller = controller;
    m_comparison.setWindowPicture(
        [this]() { return m_controller ? m_controller->targetPicture() : QByteArray(); });
}

void SimulatorPanelModel::setFollowsWindow(bool window) {
    if (std::exchange(m_followsWindow, window) != window)
        emit followsWindowChanged(window);
}

void SimulatorPanelModel::setTrusted(bool trusted) {
    if (std::exchange(m_trusted, trusted) != trusted)
        emit trustedChanged(trusted);
}

void SimulatorPanelModel::setEscapeOnlyHere(bool onlyHere) {
    if (std::exchange(m_escapeOnlyHere, onlyHere) != onlyHere)
        emit escapeOnlyHereChanged(onlyHere);
}

void SimulatorPanelModel::setVisible(bool visible) {
    m_tracking.setVisible(visible);
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

void SimulatorPanelModel::setHighlighted(const std::optional<QString>& name) {
    if (m_highlighted == name)
        return;
    m_highlighted = name;
    emit highlightedChanged(name);
}

void SimulatorPanelModel::setReading(bool reading) {
    if (std::exchange(m_reading, reading) != reading)
        emit readingChanged(reading);
}

void SimulatorPanelModel::tell(const QString& problem) {
    setError(problem);
}

void SimulatorPanelModel::setOffer(const std::optional<TargetingOffer>& offer) {
    if (m_offer == offer)
        return;
    m_offer = offer;
    emit offerChanged();
}

void SimulatorPanelModel::answerOffer(bool accepted) {
    if (!m_offer)
        return;
    if (m_controller)
        m_controller->answerOffer(accepted);
    else
        setOffer(std::nullopt);
}

// The error line, which every part writes.

void SimulatorPanelModel::setError(const std::optional<QString>& error) {
    if (m_error == error)
        return;
    m_error = error;
    emit errorChanged(error);
}

// Composing.

void SimulatorPanelModel::setComment(const QString& comment) {
    m_composing.setComment(comment);
}

void SimulatorPanelModel::setCategory(const std::optional<QString>& category) {
    m_composing.setCategory(category);
}

void SimulatorPanelModel::setShowContext(bool show) {
    m_composing.setShowContext(show);
}

void SimulatorPanelModel::setCapturing(bool capturing) {
    m_composing.setCapturing(capturing);
}

void SimulatorPanelModel::setDraft(std::optional<Draft> draft) {
    m_composing.setDraft(std::move(draft));
}

void SimulatorPanelModel::setPacket(const QString& packet) {
    m_composing.setPacket(packet);
}

void SimulatorPanelModel::setSending(bool sending) {
    m_composing.setSending(sending);
}

void SimulatorPanelModel::select(const std::vector<PickResult>& pins) {
    m_composing.select(pins);
}

void SimulatorPanelModel::removePin(std::size_t index) {
    m_composing.removePin(index);
}

void SimulatorPanelModel::send() {
    m_composing.send();
}

void SimulatorPanelModel::discard() {
    m_composing.discard();
}

QCoro::Task<> SimulatorPanelModel::refreshPacket() {
    return m_composing.refreshPacket();
}

ReportBody SimulatorPanelModel::payload(const Draft& draft,
                                        const std::optional<ReportPictures>& pictures) const {
    return m_composing.payload(draft, pictures);
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
