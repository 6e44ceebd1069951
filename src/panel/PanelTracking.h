#pragma once

#include "panel/TrackedReport.h"

#include <QSet>
#include <QString>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <optional>

class SimulatorPanelModel;

// The panel model's part that follows a report: the polling loop and its passes, the report's
// status, discovery of reports sent elsewhere, dismissal and the review actions.
class PanelTracking {
public:
    // The part lives and dies with the model.
    explicit PanelTracking(SimulatorPanelModel& model);

    const std::optional<TrackedReport>& report() const { return m_report; }
    bool offline() const { return m_offline; }
    bool acting() const { return m_acting; }
    QSet<QString> dismissed() const { return m_dismissed; }
    void setReport(const std::optional<TrackedReport>& report);
    // Updates the followed report's status, if it is still the report with this id.
    void setStatus(const QString& id, const QString& status);
    void setOffline(bool offline);
    void setActing(bool acting);

    // Starts the polling loop once; it runs as long as the model.
    void start();
    // The panel came on screen.
    void shown();
    // One polling pass; true when the next should come soon.
    QCoro::Task<bool> poll();

    // "commit", "verify" or "revert" for the followed report.
    void act(const QString& action);
    // Stops following the report; discovery never adopts it again.
    void dismiss();

private:
    QCoro::Task<> loop();
    QCoro::Task<> discover();
    QCoro::Task<> review(QString id, QString action);

    SimulatorPanelModel& m_model;
    std::optional<TrackedReport> m_report;
    bool m_offline = false;
    bool m_acting = false;
    QSet<QString> m_dismissed;
    bool m_polling = false;
    // The pause between two polling passes, and whether the panel was hidden for the last pass.
    QTimer m_pollPause;
    bool m_pausedHidden = false;
};
