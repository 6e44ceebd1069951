#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPalette>

// How the panel's controls take their colours and meet the pointer, shared by its buttons,
// toggles and shapes; not for use outside them.
namespace PanelWidgets {

// The colours a control is drawn in: the active ones, whatever the window's or the control's
// state, which each control shows in its own way (a disabled control's own colours may be too
// faint to draw anything with).
QPalette tones(const QWidget* widget);

// How much stronger a plate gets under the pointer and while pressed.
qreal plateBoost(const QAbstractButton* button);

QColor pressedBrand(const QAbstractButton* button);

void setUpButton(QAbstractButton* button);

} // namespace PanelWidgets
