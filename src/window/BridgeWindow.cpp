#include "window/BridgeWindow.h"

#include "foundation/AppNotifications.h"
#include "bridge/Bootstrap.h"
#include "foundation/Settings.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <qcoro/qcorotimer.h>

BridgeWindow::BridgeWindow(Settings& settings, BridgeProcess& bridge, Timings timings, QObject* parent)
    : QObject(parent), m_settings(settings), m_bridge(bridge), m_timings(timings) {
    QObject::connect(&m_settings, &Settings::bridgePortChanged, this, &BridgeWindow::portChanged);
    QObject::connect(&m_settings, &Settings::simulatorPanelChanged, this,
                     &BridgeWindow::simulatorPanelChanged);
    QObject::connect(&AppNotifications::shared(), &AppNotifications::posted, this,
                     &BridgeWindow::onNotification);
    QObject::connect(&m_bridge, &BridgeProcess::stateChanged, this, [this] {
        if (m_bridge.state().kind == BridgeProcess::State::Kind::Failed)
            pause();
    });
}

BridgeWindow::~BridgeWindow() = default;

int BridgeWindow::port() const {
    return m_settings.bridgePort();
}

void BridgeWindow::setPort(int port) {
    m_settings.setBridgePort(port);
}

bool BridgeWindow::simulatorPanel() const {
    return m_settings.simulatorPanel();
}

void BridgeWindow::setSimulatorPanel(bool wanted) {
    m_settings.setSimulatorPanel(wanted);
}

QString BridgeWindow::baseAddress() const {
    return QStringLiteral("http://127.0.0.1:") + QString::number(port());
}

void BridgeWindow::start() {
    if (m_started)
        return;
    m_started = true;
    restartConnectLoop();
    startupReopen();
}

QCoro::Task<> BridgeWindow::connect(bool userInitiated) {
    const int probed = port();
    if (probed < lowestPort || probed > highestPort || !Bootstrap::addressIsValid(probed)) {
        setStatus(ConnectStatus::InvalidPort);
        co_return;
    }
    if (userInitiated)
        setStatus(ConnectStatus::Connecting);

    QPointer<BridgeWindow> self(this);
    const Bootstrap::Answer answer = co_await Bootstrap::fetch(probed, m_timings.probeTimeout);
    // An answer about a port the window has since left says nothing about the current one.
    if (!self || probed != port())
        co_return;
    if (answer.transportFailed) {
        setStatus(ConnectStatus::Waiting);
        co_return;
    }
    if (answer.statusCode == 200) {
        const auto record = Bootstrap::decode(answer.body, /*readProject=*/false);
        if (record && record->service == QLatin1String("tallyrig")) {
            setConnected(true);
            co_return;
        }
    }
    setStatus(ConnectStatus::NotTallyrig);
}

void BridgeWindow::disconnectFromBridge() {
    pause();
}

void BridgeWindow::pause() {
    // Paused first, so the connect loop that restarts with `connected` sends nothing.
    setStatus(ConnectStatus::Paused);
    setConnected(false);
}

void BridgeWindow::showSettings() {
    setPage(QStringLiteral("preferences"));
}

QCoro::Task<> BridgeWindow::open(QString folder) {
    setConnected(false);
    QPointer<BridgeWindow> self(this);
    const std::optional<qint64> opened = co_await m_bridge.open(folder);
    if (!self || !opened)
        co_return;
    setPort(int(*opened));
    setStatus(ConnectStatus::Connecting);
    co_await connect(true);
}

void BridgeWindow::chooseProject() {
    if (!m_chooser)
        return;
    if (const auto folder = m_chooser())
        open(*folder);
}

QCoro::Task<> BridgeWindow::stopBridge() {
    QPointer<BridgeWindow> self(this);
    co_await m_bridge.stop();
    if (self)
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

QString BridgeWindow::statusText(ConnectStatus status, int port) {
    switch (status) {
    case ConnectStatus::Waiting:
        return QStringLiteral("Waiting for a bridge on port %1\u2026").arg(port);
    case ConnectStatus::Connecting:
        return QStringLiteral("Connecting\u2026");
    case ConnectStatus::Paused:
        return QStringLiteral("Disconnected. Press Connect to reconnect.");
    case ConnectStatus::NotTallyrig:
        return QStringLiteral("Port %1 is used by another service. Check the port in tallyrig.config.json.")
            .arg(port);
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
        connectLoop(m_loopGeneration);
}

QCoro::Task<> BridgeWindow::connectLoop(quint64 generation) {
    QPointer<BridgeWindow> self(this);
    while (self && generation == m_loopGeneration && !m_connected) {
        if (m_status != ConnectStatus::Paused)
            co_await connect(false);
        if (!self || generation != m_loopGeneration)
            co_return;
        co_await QCoro::sleepFor(m_timings.loopInterval);
    }
}
