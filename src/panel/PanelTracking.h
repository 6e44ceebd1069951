#pragma once

#include "panel/BridgeApi.h"
#include "panel/PanelTimings.h"
#include "panel/TrackedReport.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <optional>

class PanelAgentSettings;

// Follows a report: the polling loop and its passes, which read the agent settings, the report's
// status and discover reports sent elsewhere; dismissal and the review actions.
class PanelTracking : public QObject {
    Q_OBJECT
public:
    // The bridge client and the agent settings outlive the part.
    PanelTracking(const BridgeApi::Client& bridge, PanelAgentSettings& settings, PanelTimings timings,
                  QObject* parent = nullptr);

    // Whether the panel is on screen: polling asks the bridge only then.
    bool visible() const { return m_visible; }
    void setVisible(bool visible);
    const std::optional<TrackedReport>& report() const { return m_report; }
    bool offline() const { return m_offline; }
    bool acting() const { return m_acting; }
    QSet<QString> dismissed() const { return m_dismissed; }
    void setReport(const std::optional<TrackedReport>& report);
    // Updates the followed report's status, if it is still the report with this id.
    void setStatus(const QString& id, const QString& status);
    void setOffline(bool offline);
    void setActing(bool acting);

    // Starts the polling loop once; it runs as long as the part.
    void start();
    // One polling pass; true when the next should come soon. An unreachable or failing bridge is
    // "offline"; anything else it throws is a fault of ours and reaches the task's runner.
    QCoro::Task<bool> poll();

    // "commit", "verify" or "revert" for the followed report.
    void act(const QString& action);
    // Stops following the report; discovery never adopts it again.
    void dismiss();

signals:
    void visibleChanged(bool visible);
    void reportChanged();
    void offlineChanged(bool offline);
    void actingChanged(bool acting);
    // What the panel's error line says now: a review action's failure, or nothing as one starts.
    void errorReported(const std::optional<QString>& error);

private:
    QCoro::Task<> loop();
    QCoro::Task<> discover();
    QCoro::Task<> review(QString id, QString action);

    const BridgeApi::Client& m_bridge;
    PanelAgentSettings& m_settings;
    PanelTimings m_timings;
    bool m_visible = false;
    std::optional<TrackedReport> m_report;
    bool m_offline = false;
    bool m_acting = false;
    QSet<QString> m_dismissed;
    bool m_polling = false;
    // The pause between two polling passes, and whether the panel was hidden for the last pass.
    QTimer m_pollPause;
    bool m_pausedHidden = false;
};
