#include "panel/PanelShapes.h"

#include "panel/PanelLook.h"

#include <QPainter>

namespace PanelWidgets {

Divider::Divider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Style::color(Style::Tone::Separator, tones(this)));
}

Dot::Dot(int diameter, Style::Tone tone, QWidget* parent) : QWidget(parent), m_tone(tone) {
    setFixedSize(diameter, diameter);
}

void Dot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::color(m_tone, palette()));
    painter.drawEllipse(QRectF(rect()));
}

} // namespace PanelWidgets
