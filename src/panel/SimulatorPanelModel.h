#pragma once

#include "panel/BridgeApi.h"
#include "panel/PanelAgentSettings.h"
#include "panel/PanelComparison.h"
#include "panel/PanelComposing.h"
#include "panel/PanelTimings.h"
#include "panel/PanelTracking.h"
#include "panel/Payload.h"
#include "panel/PreviewRefresh.h"
#include "panel/ReportStatus.h"
#include "panel/TrackedReport.h"
#include "simulator/PanelLink.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <qcoro/qcorotask.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <optional>

class AppNotifications;
class Settings;
namespace platform {
class SimulatorTool;
}

// The one object behind the floating Simulator panel: it captures a picked element into a draft,
// previews and sends the report, follows it by polling the bridge, runs the review actions and
// the agent settings. Every observable property notifies only when its value changes. The work is
// done by its parts (PanelComposing, PanelTracking, PanelAgentSettings), each with its own state
// and signals, which know nothing of the model; the model holds them, the error line and what the
// controller tells it, and passes their signals on. The views, the controller and the tests see
// only the model.
class SimulatorPanelModel : public QObject, public PanelModelInput {
    Q_OBJECT
    Q_PROPERTY(bool visible READ visible NOTIFY visibleChanged)
    Q_PROPERTY(bool trusted READ trusted NOTIFY trustedChanged)
    Q_PROPERTY(bool escapeOnlyHere READ escapeOnlyHere NOTIFY escapeOnlyHereChanged)
    Q_PROPERTY(bool picking READ picking NOTIFY pickingChanged)
    Q_PROPERTY(std::optional<QString> highlighted READ highlighted NOTIFY highlightedChanged)
    Q_PROPERTY(QString deviceTitle READ deviceTitle NOTIFY deviceTitleChanged)
    Q_PROPERTY(bool reading READ reading NOTIFY readingChanged)
    Q_PROPERTY(bool followsWindow READ followsWindow NOTIFY followsWindowChanged)
    Q_PROPERTY(std::optional<TargetingOffer> offer READ offer NOTIFY offerChanged)
    Q_PROPERTY(bool capturing READ capturing NOTIFY capturingChanged)
    Q_PROPERTY(std::optional<Draft> draft READ draft NOTIFY draftChanged)
    Q_PROPERTY(std::shared_ptr<const Annotation::Rendered> pictures READ pictures NOTIFY picturesChanged)
    Q_PROPERTY(QString comment READ comment WRITE setComment NOTIFY commentChanged)
    Q_PROPERTY(std::optional<QString> category READ category WRITE setCategory NOTIFY categoryChanged)
    Q_PROPERTY(bool showContext READ showContext WRITE setShowContext NOTIFY showContextChanged)
    Q_PROPERTY(QString packet READ packet NOTIFY packetChanged)
    Q_PROPERTY(bool sending READ sending NOTIFY sendingChanged)
    Q_PROPERTY(std::optional<QString> error READ error NOTIFY errorChanged)
    Q_PROPERTY(std::optional<TrackedReport> report READ report NOTIFY reportChanged)
    Q_PROPERTY(bool acting READ acting NOTIFY actingChanged)
    Q_PROPERTY(PanelComparison::After after READ after NOTIFY afterChanged)
    Q_PROPERTY(std::optional<bool> autoDispatch READ autoDispatch NOTIFY autoDispatchChanged)
    Q_PROPERTY(std::optional<bool> autoRelaunch READ autoRelaunch NOTIFY autoRelaunchChanged)
    Q_PROPERTY(bool offline READ offline NOTIFY offlineChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)
    Q_PROPERTY(QString refreshKey READ refreshKey NOTIFY refreshKeyChanged)

public:
    // Activates the application and brings its first window that is not a panel forward: a GUI
    // operation the shell provides.
    using RaiseMainWindow = std::function<void()>;

    // The tool and the settings store outlive the model.
    SimulatorPanelModel(platform::SimulatorTool& tool, Settings& settings, PanelTimings timings = {},
                        QObject* parent = nullptr);
    ~SimulatorPanelModel() override;

    // Fed by the panel controller.
    void setController(PanelControl* controller) override;
    PanelControl* controller() const { return m_controller; }
    void setTrusted(bool trusted) override;
    void setEscapeOnlyHere(bool onlyHere) override;
    void setVisible(bool visible) override;
    void setDeviceTitle(const QString& title) override;
    void setPicking(bool picking) override;
    void setHighlighted(const std::optional<QString>& name) override;
    void setReading(bool reading) override;
    void tell(const QString& problem) override;
    void setOffer(const std::optional<TargetingOffer>& offer) override;
    void setFollowsWindow(bool window) override;

    bool visible() const { return m_tracking.visible(); }
    bool trusted() const { return m_trusted; }
    bool escapeOnlyHere() const { return m_escapeOnlyHere; }
    bool picking() const { return m_picking; }
    const std::optional<QString>& highlighted() const { return m_highlighted; }
    QString deviceTitle() const { return m_deviceTitle; }
    // While targeting waits for the screen's elements to be read.
    bool reading() const { return m_reading; }
    // The question targeting puts to the user; the panel's buttons answer it.
    const std::optional<TargetingOffer>& offer() const { return m_offer; }
    void answerOffer(bool accepted);
    // Whether the panel follows a desktop window the user chose rather than the Simulator.
    bool followsWindow() const { return m_followsWindow; }

    // Composing and sending.
    bool capturing() const { return m_composing.capturing(); }
    const std::optional<Draft>& draft() const { return m_composing.draft(); }
    // The draft's screenshot with its pins drawn, and the report's pictures; null while they are
    // being drawn.
    std::shared_ptr<const Annotation::Rendered> pictures() const { return m_composing.pictures(); }
    QString comment() const { return m_composing.comment(); }
    void setComment(const QString& comment);
    std::optional<QString> category() const { return m_composing.category(); }
    void setCategory(const std::optional<QString>& category);
    bool showContext() const { return m_composing.showContext(); }
    void setShowContext(bool show);
    QString packet() const { return m_composing.packet(); }
    bool sending() const { return m_composing.sending(); }
    std::optional<QString> error() const { return m_error; }
    // A draft, no submission in flight, and a request that is more than white space.
    bool canSend() const { return m_composing.canSend(); }
    // "true|<comment>|<category>": what the preview depends on.
    QString refreshKey() const { return m_composing.refreshKey(); }

    // Drops any draft, then captures the pins' device in the background.
    void select(const std::vector<PickResult>& pins) override;
    // The composer's remove button on a pin (counted from 0); the last pin goes with the draft.
    void removePin(std::size_t index);
    // Sends the draft with the trimmed request; does nothing unless canSend().
    void send();
    // The composer's discard button: the draft, request, category, preview and error go.
    void discard();
    // Fetches the preview into `packet`, when it is open and there is a draft.
    QCoro::Task<> refreshPacket();
    PreviewRefresh& previewRefresh() { return m_previewRefresh; }
    // "Copy as Prompt": the draft with the current request as Markdown, which goes to the clipboard
    // with the annotated screenshot; empty without a draft.
    QString prompt() const { return m_composing.prompt(); }
    // The report body of a draft with the current request and category, with or without pictures.
    ReportBody payload(const Draft& draft, const std::optional<ReportPictures>& pictures) const;

    // Tracking.
    const std::optional<TrackedReport>& report() const { return m_tracking.report(); }
    bool offline() const { return m_tracking.offline(); }
    std::optional<bool> autoDispatch() const { return m_agentSettings.autoDispatch(); }
    std::optional<bool> autoRelaunch() const { return m_agentSettings.autoRelaunch(); }
    QSet<QString> dismissed() const { return m_tracking.dismissed(); }
    // "After", beside the picture the followed report was sent with, while it is in review.
    const PanelComparison::After& after() const { return m_comparison.after(); }
    // Starts the polling loop once; it runs as long as the model.
    void startPolling() override;
    // One polling pass; true when the next should come soon.
    QCoro::Task<bool> poll();

    // Review actions and agent settings.
    bool acting() const { return m_tracking.acting(); }
    // "commit", "verify" or "revert" for the followed report.
    void act(const QString& action);
    void setRaiseMainWindow(RaiseMainWindow raise) { m_raiseMainWindow = std::move(raise); }
    // Where "Tallyrig.openReport" is posted; the application's hub outlives the model.
    void setNotifications(AppNotifications* notifications) { m_notifications = notifications; }
    // Brings the main window forward and asks it to show the followed report.
    void openInDashboard();
    // Stops following the report; discovery never adopts it again.
    void dismissReport();
    // Asks the bridge to change one setting; the model follows the bridge's answer.
    void setSetting(const QString& key, bool value);
    // Takes both settings from a settings answer; anything but an object changes nothing.
    void applySettings(const nlohmann::json& answer);

    const PanelTimings& timings() const { return m_timings; }

signals:
    void visibleChanged(bool visible);
    void trustedChanged(bool trusted);
    void escapeOnlyHereChanged(bool onlyHere);
    void pickingChanged(bool picking);
    void highlightedChanged(const std::optional<QString>& name);
    void deviceTitleChanged(const QString& title);
    void readingChanged(bool reading);
    void offerChanged();
    void followsWindowChanged(bool window);
    void capturingChanged(bool capturing);
    void draftChanged();
    void picturesChanged();
    void commentChanged(const QString& comment);
    void categoryChanged(const std::optional<QString>& category);
    void showContextChanged(bool show);
    void packetChanged(const QString& packet);
    void sendingChanged(bool sending);
    void errorChanged(const std::optional<QString>& error);
    void reportChanged();
    void actingChanged(bool acting);
    void afterChanged();
    void autoDispatchChanged(const std::optional<bool>& value);
    void autoRelaunchChanged(const std::optional<bool>& value);
    void offlineChanged(bool offline);
    void canSendChanged(bool canSend);
    void refreshKeyChanged(const QString& key);

protected:
    // The model's own writers; protected so that a view's test can put the model in any state.
    void setCapturing(bool capturing);
    void setDraft(std::optional<Draft> draft);
    void setPacket(const QString& packet);
    void setSending(bool sending);
    void setError(const std::optional<QString>& error);
    void setReport(const std::optional<TrackedReport>& report);
    // Updates the followed report's status, if it is still the report with this id.
    void setStatus(const QString& id, const QString& status);
    void setActing(bool acting);
    void setAutoDispatch(std::optional<bool> value);
    void setAutoRelaunch(std::optional<bool> value);
    void setOffline(bool offline);

private:
    PanelTimings m_timings;
    RaiseMainWindow m_raiseMainWindow;
    AppNotifications* m_notifications = nullptr;
    PanelControl* m_controller = nullptr;

    bool m_trusted = false;
    bool m_escapeOnlyHere = false;
    bool m_picking = false;
    std::optional<QString> m_highlighted;
    QString m_deviceTitle;
    bool m_reading = false;
    bool m_followsWindow = false;
    std::optional<TargetingOffer> m_offer;
    std::optional<QString> m_error;

    // In this order: each part reaches only those before it.
    BridgeApi::Client m_bridge;
    PanelAgentSettings m_agentSettings;
    PanelTracking m_tracking;
    PanelComposing m_composing;
    PanelComparison m_comparison;
    PreviewRefresh m_previewRefresh;
};
