#pragma once

#include "panel/PanelButtons.h"

// The panel's on/off controls: a category chip and a mini switch.
namespace PanelWidgets {

// A category chip: a capsule, white on the brand colour while selected.
class Chip : public FocusRingButton {
    Q_OBJECT
public:
    explicit Chip(const QString& caption, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override {}
};

// A switch in the mini size. It never moves by itself: pressing it emits `turned` with the
// position asked for, and it shows a new position only when its owner sets it.
class MiniSwitch : public FocusRingButton {
    Q_OBJECT
public:
    explicit MiniSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {26, 15}; }

signals:
    void turned(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;
};

} // namespace PanelWidgets
