#pragma once

#include "panel/PanelViewTimings.h"
#include "panel/PanelWidgets.h"

#include <QWidget>

#include <functional>

class Composer;
class OfferView;
class Progress;
class QLabel;
class QMenu;
class Settings;
class SimulatorPanelModel;
class VisualEffect;

// The box that asks for accessibility access, with the button that goes where it is granted.
class AccessCallout : public QWidget {
    Q_OBJECT
public:
    AccessCallout(std::function<void()> open, QWidget* parent = nullptr);
    QAbstractButton* button() const { return m_button; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void()> m_open;
    PanelWidgets::PanelButton* m_button;
};

// The bridge's agent settings as two switches, and the notice while the bridge is out of reach.
class AgentSettingsView : public QWidget {
    Q_OBJECT
public:
    AgentSettingsView(SimulatorPanelModel& model, bool hasRuntime, QWidget* parent = nullptr);
    PanelWidgets::MiniSwitch* switchFor(const QString& key) const;

private:
    void refresh();

    SimulatorPanelModel& m_model;
    QWidget* m_notice;
    QList<QLabel*> m_titles;
    QList<PanelWidgets::MiniSwitch*> m_switches;
};

// The whole content of the floating Simulator panel: title row, access callout, main area
// (targeting hint, capture, composer), error line, progress and agent settings. It is 300 points
// wide and as tall as its content, and says so whenever its content changes.
class SimulatorPanelView : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 300;

    // `hasRuntime`: the app carries a bridge runtime, which words the offline notice.
    SimulatorPanelView(SimulatorPanelModel& model, Settings& settings, bool hasRuntime,
                       PanelViewTimings timings = {}, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    VisualEffect* background() const { return m_background; }
    Composer* composer() const { return m_composer; }
    Progress* progress() const { return m_progress; }
    PanelWidgets::SymbolButton* targetButton() const { return m_target; }
    // "Target Window…" and "Follow the Simulator", in a menu.
    PanelWidgets::SymbolButton* windowButton() const { return m_window; }
    QMenu* windowMenu() const { return m_windowMenu; }
    PanelWidgets::SymbolButton* hideButton() const { return m_hide; }
    AccessCallout* accessCallout() const { return m_callout; }
    OfferView* offer() const { return m_offer; }
    AgentSettingsView* agentSettings() const { return m_settingsView; }

signals:
    // The size the panel window should take, after every change of content.
    void preferredSizeChanged(QSize size);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeTitleRow();
    void showPicking();
    void showHighlighted();
    void showMainArea();
    void showError();
    void showReport();
    void followPreferredSize();

    SimulatorPanelModel& m_model;
    Settings& m_settings;
    VisualEffect* m_background;
    QLabel* m_deviceTitle = nullptr;
    PanelWidgets::SymbolButton* m_target = nullptr;
    PanelWidgets::SymbolButton* m_window = nullptr;
    QMenu* m_windowMenu = nullptr;
    PanelWidgets::SymbolButton* m_hide = nullptr;
    AccessCallout* m_callout;
    OfferView* m_offer;
    QWidget* m_pickingHint;
    QLabel* m_pickingText;
    QLabel* m_pickingMore;
    QWidget* m_capturing;
    Composer* m_composer;
    QWidget* m_targetHint;
    QWidget* m_errorLine;
    QLabel* m_errorText;
    PanelWidgets::Divider* m_progressDivider;
    Progress* m_progress;
    AgentSettingsView* m_settingsView;
    QSize m_preferred;
};
