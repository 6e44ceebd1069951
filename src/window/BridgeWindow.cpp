#include "window/BridgeWindow.h"

#include "bridge/Probe.h"
#include "foundation/AppNotifications.h"
#include "foundation/Detach.h"
#include "foundation/Settings.h"
#include "foundation/Within.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

BridgeWindow::BridgeWindow(Settings& settings, BridgeProcess& bridge, AppNotifications& notifications,
                           Timings timings, QObject* parent)
    : QObject(parent), m_settings(settings), m_bridge(bridge), m_timings(timings) {
    QObject::connect(&m_settings, &Settings::bridgePortChanged, this, &BridgeWindow::portChanged);
    QObject::connect(&m_settings, &Settings::simulatorPanelChanged, this,
                     &BridgeWindow::simulatorPanelChanged);
    QObject::connect(&notifications, &AppNotifications::posted, this, &BridgeWindow::onNotification);
    QObject::connect(&m_bridge, &BridgeProcess::stateChanged, this, [this] {
        if (m_bridge.state().kind == BridgeProcess::State::Kind::Failed)
            pause();
    });
}

BridgeWindow::~BridgeWindow() = default;

BridgePort BridgeWindow::port() const {
    return m_settings.bridgePort();
}

void BridgeWindow::setPort(BridgePort port) {
    m_settings.setBridgePort(int(port.number));
}

bool BridgeWindow::simulatorPanel() const {
    return m_settings.simulatorPanel();
}

void BridgeWindow::setSimulatorPanel(bool wanted) {
    m_settings.setSimulatorPanel(wanted);
}

QString BridgeWindow::baseAddress() const {
    return port().baseAddress();
}

void BridgeWindow::start() {
    if (m_started)
        return;
    m_started = true;
    restartConnectLoop();
    detach(startupReopen(), this);
}

QCoro::Task<> BridgeWindow::connectToBridge(bool userInitiated) {
    const BridgePort probed = port();
    if (!probed.isUsable()) {
        setStatus(ConnectStatus::InvalidPort);
        co_return;
    }
    if (userInitiated)
        setStatus(ConnectStatus::Connecting);

    QPointer<BridgeWindow> self(this);
    const quint64 intent = m_intent;
    const Probe answer = co_await Probe::ask(probed, m_timings.probeTimeout, Probe::forConnecting, this);
    // An answer about a port the window has since left, or given after the user disconnected or
    // opened a project, says nothing about what the window wants now.
    if (!self || intent != m_intent || probed != port())
        co_return;
    switch (answer.kind) {
    case Probe::Kind::Free:
        setStatus(ConnectStatus::Waiting);
        break;
    case Probe::Kind::Foreign:
        setStatus(ConnectStatus::NotTallyrig);
        break;
    case Probe::Kind::Bridge:
        setConnected(true);
        break;
    }
}

void BridgeWindow::disconnectFromBridge() {
    pause();
}

void BridgeWindow::pause() {
    ++m_intent;
    // Paused first, so the connect loop that restarts with `connected` sends nothing.
    setStatus(ConnectStatus::Paused);
    setConnected(false);
}

void BridgeWindow::showSettings() {
    setPage(QStringLiteral("preferences"));
}

QCoro::Task<> BridgeWindow::open(QString folder) {
    ++m_intent;
    ++m_openings;
    setConnected(false);
    QPointer<BridgeWindow> self(this);
    const std::optional<BridgePort> opened = co_await m_bridge.open(folder);
    if (!self)
        co_return;
    --m_openings;
    if (!opened)
        co_return;
    setPort(*opened);
    setStatus(ConnectStatus::Connecting);
    co_await connectToBridge(true);
}

void BridgeWindow::chooseProject() {
    if (!m_chooser)
        return;
    m_chooser([self = QPointer<BridgeWindow>(this)](const QString& folder) {
        if (self)
            detach(self->open(folder), self);
    });
}

QCoro::Task<> BridgeWindow::stopBridge() {
    QPointer<BridgeWindow> self(this);
    const quint64 intent = m_intent;
    co_await m_bridge.stop();
    // An opening or a pause meanwhile decided what the window shows.
    if (self && intent == m_intent)
        pause();
}

QCoro::Task<> BridgeWindow::startupReopen() {
    if (!m_bridge.runtime() || m_bridge.state() != BridgeProcess::State::idle())
        co_return;
    const QStringList recents = m_bridge.recents();
    if (recents.isEmpty() || !QFileInfo::exists(recents.first()))
        co_return;
    co_await open(recents.first());
}

QString BridgeWindow::statusText(ConnectStatus status, BridgePort port) {
    switch (status) {
    case ConnectStatus::Waiting:
        return QStringLiteral("Waiting for a bridge on port %1\u2026").arg(port.text());
    case ConnectStatus::Connecting:
        return QStringLiteral("Connecting\u2026");
    case ConnectStatus::Paused:
        return QStringLiteral("Disconnected. Press Connect to reconnect.");
    case ConnectStatus::NotTallyrig:
        return QStringLiteral("Port %1 is used by another service. Check the port in tallyrig.config.json.")
            .arg(port.text());
    case ConnectStatus::InvalidPort:
        return QStringLiteral("Enter a port between 1024 and 65535.");
    }
    return {};
}

void BridgeWindow::setConnected(bool connected) {
    if (m_connected == connected)
        return;
    m_connected = connected;
    emit connectedChanged();
    restartConnectLoop();
}

void BridgeWindow::setStatus(ConnectStatus status) {
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged();
}

void BridgeWindow::setPage(QString page) {
    if (m_page == page)
        return;
    m_page = std::move(page);
    emit pageChanged();
}

void BridgeWindow::setReport(std::optional<QString> report) {
    if (m_report == report)
        return;
    m_report = std::move(report);
    emit reportChanged();
}

void BridgeWindow::onNotification(const QString& name, const QVariant& object) {
    if (name == AppNotifications::openTallyrigPreferences) {
        // Passing through the empty page makes the fragment change even when the dashboard
        // already shows its settings.
        setPage(QString());
        QTimer::singleShot(0, this, [this] { setPage(QStringLiteral("preferences")); });
    } else if (name == AppNotifications::openTallyrigReport) {
        setPage(QStringLiteral("inbox"));
        if (object.typeId() == QMetaType::QString)
            setReport(object.toString());
        else
            setReport(std::nullopt);
    }
}

void BridgeWindow::restartConnectLoop() {
    // The loop is keyed on `connected`: a new one replaces the old, which ends at its next wait.
    ++m_loopGeneration;
    if (m_started && !m_connected)
        detach(connectLoop(m_loopGeneration), this);
}

QCoro::Task<> BridgeWindow::connectLoop(quint64 generation) {
    QPointer<BridgeWindow> self(this);
    while (self && generation == m_loopGeneration && !m_connected) {
        if (m_status != ConnectStatus::Paused && m_openings == 0)
            co_await connectToBridge(false);
        if (!self || generation != m_loopGeneration)
            co_return;
        if (!co_await Within::sleep(this, m_timings.loopInterval))
            co_return;
    }
}
