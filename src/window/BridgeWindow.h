#pragma once

#include "bridge/BridgeProcess.h"

#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <optional>

class AppNotifications;
class Settings;

// What goes wrong between the window and the bridge on its port, as the status line tells it.
enum class ConnectStatus { Waiting, Connecting, Paused, NotTallyrig, InvalidPort };

struct BridgeWindowTimings {
    std::chrono::milliseconds probeTimeout{2000};
    std::chrono::milliseconds loopInterval{2000};
};

// The model behind one main window (the window itself is MainWindow): its connection to a bridge,
// the dashboard page it asks for, and the projects it opens. Views observe it; it knows none of them.
class BridgeWindow : public QObject {
    Q_OBJECT
public:
    using Timings = BridgeWindowTimings;
    // Shows the folder chooser and returns at once; `chosen` runs when the user confirms a folder,
    // never when they cancel.
    using FolderChooser = std::function<void(std::function<void(const QString& folder)> chosen)>;

    BridgeWindow(Settings& settings, BridgeProcess& bridge, AppNotifications& notifications,
                 Timings timings = {}, QObject* parent = nullptr);
    ~BridgeWindow() override;

    BridgePort port() const;
    void setPort(BridgePort port);
    bool connected() const { return m_connected; }
    ConnectStatus status() const { return m_status; }
    QString page() const { return m_page; }
    std::optional<QString> report() const { return m_report; }
    bool simulatorPanel() const;
    void setSimulatorPanel(bool wanted);
    BridgeProcess& bridge() const { return m_bridge; }

    // The dashboard's base address, "http://127.0.0.1:" + port, without a path.
    QString baseAddress() const;

    // Called once when the window's content is first shown: the connect loop and the reopening
    // of the most recent project.
    void start();

    // Probes the port once; with userInitiated the status line says "Connecting…" meanwhile.
    QCoro::Task<> connectToBridge(bool userInitiated);
    void disconnectFromBridge();
    void showSettings();

    QCoro::Task<> open(QString folder);
    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }
    void chooseProject();
    QCoro::Task<> stopBridge();
    QCoro::Task<> startupReopen();

    // The status line's text for a status.
    static QString statusText(ConnectStatus status, BridgePort port);

signals:
    void portChanged();
    void connectedChanged();
    void pageChanged();
    void statusChanged();
    void reportChanged();
    void simulatorPanelChanged();

private:
    void pause();
    void setConnected(bool connected);
    void setStatus(ConnectStatus status);
    void setPage(QString page);
    void setReport(std::optional<QString> report);
    void onNotification(const QString& name, const QVariant& object);
    void restartConnectLoop();
    QCoro::Task<> connectLoop(quint64 generation);

    Settings& m_settings;
    BridgeProcess& m_bridge;
    Timings m_timings;
    bool m_started = false;
    bool m_connected = false;
    ConnectStatus m_status = ConnectStatus::Waiting;
    QString m_page = QStringLiteral("inbox");
    std::optional<QString> m_report;
    quint64 m_loopGeneration = 0;
    // What the window wants of its connection: a probe applies its answer only while this is the
    // value it started with. Disconnect, a pause and an opening change it.
    quint64 m_intent = 0;
    // Openings in progress: the connect loop leaves the port alone meanwhile, because the port it
    // would probe is the one the window is leaving.
    int m_openings = 0;
    FolderChooser m_chooser;
};
