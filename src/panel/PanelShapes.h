#pragma once

#include "foundation/Style.h"

#include <QWidget>

// The panel's plain shapes: a separator line and a dot.
namespace PanelWidgets {

// A one-point separator line across its width.
class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {1, 1}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A filled circle.
class Dot : public QWidget {
    Q_OBJECT
public:
    Dot(int diameter, Style::Tone tone, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style::Tone m_tone;
};

} // namespace PanelWidgets
