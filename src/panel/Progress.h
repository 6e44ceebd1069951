#pragma once

#include "panel/PanelViewTimings.h"
#include "panel/PanelWidgets.h"
#include "panel/TrackedReport.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class SimulatorPanelModel;
class Spinner;
class SymbolView;
class Thumbnail;

// The review action that needs a second press: "Revert", then "Undo files?" for a while.
class RevertButton : public PanelWidgets::PanelButton {
    Q_OBJECT
public:
    // A press confirms only once "Undo files?" has shown for `reading`, however it comes (pointer,
    // keyboard, assistive technology).
    RevertButton(std::function<void()> revert, std::chrono::milliseconds arming,
                 std::chrono::milliseconds reading, QWidget* parent = nullptr);

    bool armed() const { return m_armed; }
    // Forgets an arming, for when the button leaves the screen.
    void disarm() { setArmed(false); }

private:
    void press();
    void setArmed(bool armed);

    std::function<void()> m_revert;
    std::chrono::milliseconds m_arming;
    std::chrono::milliseconds m_reading;
    QElapsedTimer m_shown; // since the last arming
    bool m_armed = false;
};

// The four steps a report goes through, as two rows: capsules, then the steps' names.
class StepTrack : public QWidget {
    Q_OBJECT
public:
    explicit StepTrack(QWidget* parent = nullptr);
    void setStatus(const QString& status);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_step = 0;
    bool m_finished = false;
};

// The followed report: its status, the time the agent has been at it, the request, the step
// track, in review the screen before and after the agent's change, the review actions and the way
// to the dashboard.
class Progress : public QWidget {
    Q_OBJECT
public:
    Progress(SimulatorPanelModel& model, PanelViewTimings timings, QWidget* parent = nullptr);

    // The report to show, handed over whenever the model's report changes.
    void setReport(const TrackedReport& report);

    QString elapsedText() const;
    // The elapsed-seconds timer runs: only while a working report is on screen.
    bool isTiming() const { return m_tick.isActive(); }
    Thumbnail* before() const { return m_before; }
    Thumbnail* after() const { return m_after; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void showComparison();
    void updateElapsed();
    void scheduleTick();

    SimulatorPanelModel& m_model;
    PanelViewTimings m_timings;
    TrackedReport m_report;

    QWidget* m_statusRow;
    Spinner* m_spinner;
    PanelWidgets::Dot* m_dot;
    SymbolView* m_check;
    SymbolView* m_cross;
    QLabel* m_title;
    QLabel* m_elapsed;
    PanelWidgets::SymbolButton* m_dismiss;
    PanelWidgets::ClampedLabel* m_request;
    StepTrack* m_track;
    QWidget* m_comparison;
    Thumbnail* m_before;
    Thumbnail* m_after;
    QLabel* m_afterError;
    QWidget* m_reviewRow;
    PanelWidgets::PanelButton* m_commit;
    PanelWidgets::PanelButton* m_verify;
    RevertButton* m_revert;
    PanelWidgets::LinkButton* m_link;
    QTimer m_tick;
};
