#include "panel/PanelToggles.h"

#include "panel/PanelLook.h"

#include <QPainter>

namespace PanelWidgets {

// ---- Chip

Chip::Chip(const QString& caption, QWidget* parent) : FocusRingButton(parent) {
    setUpButton(this);
    setText(caption);
    setCheckable(true);
    setFont(Style::font(Style::Text::Caption, QFont::Medium));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize Chip::sizeHint() const {
    return {fontMetrics().horizontalAdvance(text()) + 20, fontMetrics().height() + 8};
}

QSize Chip::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(text()) + 8, fontMetrics().height() + 8};
}

void Chip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = rect();
    const qreal radius = box.height() / 2;
    painter.setPen(Qt::NoPen);
    QColor text;
    if (isChecked()) {
        painter.setBrush(pressedBrand(this));
        text = Qt::white;
    } else {
        painter.setBrush(Style::color(Style::Tone::Primary, tones(this), 0.07 + plateBoost(this)));
        text = Style::color(Style::Tone::Primary, tones(this));
    }
    painter.drawRoundedRect(box, radius, radius);
    painter.setPen(text);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, this->text());
    if (showsFocusRing())
        paintFocusRing(painter, box, radius, tones(this));
}

// ---- MiniSwitch

MiniSwitch::MiniSwitch(QWidget* parent) : FocusRingButton(parent) {
    setUpButton(this);
    setCheckable(true);
    setFixedSize(sizeHint());
}

void MiniSwitch::nextCheckState() {
    emit turned(!isChecked());
}

void MiniSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const QRectF track = rect();
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    if (isChecked())
        painter.setBrush(!enabled   ? Style::color(Style::Tone::Brand, tones(this), 0.4)
                         : isDown() ? Style::brand().darker(110)
                                    : Style::brand());
    else
        painter.setBrush(Style::color(Style::Tone::Primary, tones(this),
                                      !enabled   ? 0.08
                                      : isDown() ? 0.22
                                                 : 0.15));
    painter.drawRoundedRect(track, radius, radius);

    // The knob keeps a faint rim so that it reads on a light track too.
    const qreal knob = track.height() - 2;
    const QRectF circle(isChecked() ? track.right() - 1 - knob : track.left() + 1, track.top() + 1, knob,
                        knob);
    painter.setBrush(QColor(0, 0, 0, enabled ? 38 : 20));
    painter.drawEllipse(circle.adjusted(-0.5, -0.25, 0.5, 0.75));
    painter.setBrush(enabled ? QColor(Qt::white) : Style::color(Style::Tone::White, tones(this), 0.75));
    painter.drawEllipse(circle);
    if (showsFocusRing()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Style::color(Style::Tone::Brand, tones(this), 0.7), 1.5));
        painter.drawRoundedRect(track.adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
    }
}

} // namespace PanelWidgets
