#pragma once

#include "panel/PanelWidgets.h"

#include <QWidget>

class QLabel;
class SimulatorPanelModel;

// The question targeting puts to the user (turn a device's accessibility on, choose another window
// when the target went), with its two answers. Hidden while there is none.
class OfferView : public QWidget {
    Q_OBJECT
public:
    explicit OfferView(SimulatorPanelModel& model, QWidget* parent = nullptr);

    PanelWidgets::PanelButton* acceptButton() const { return m_accept; }
    PanelWidgets::PanelButton* declineButton() const { return m_decline; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    SimulatorPanelModel& m_model;
    QLabel* m_text;
    PanelWidgets::PanelButton* m_accept;
    PanelWidgets::PanelButton* m_decline;
};
