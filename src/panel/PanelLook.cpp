#include "panel/PanelLook.h"

#include "foundation/Style.h"

namespace PanelWidgets {

QPalette tones(const QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setCurrentColorGroup(QPalette::Active);
    return palette;
}

qreal plateBoost(const QAbstractButton* button) {
    if (!button->isEnabled())
        return 0;
    if (button->isDown())
        return 0.10;
    return button->underMouse() ? 0.05 : 0;
}

QColor pressedBrand(const QAbstractButton* button) {
    const QColor brand = Style::brand();
    if (!button->isEnabled())
        return Style::color(Style::Tone::Brand, tones(button), 0.45);
    if (button->isDown())
        return brand.darker(115);
    return button->underMouse() ? brand.lighter(108) : brand;
}

void setUpButton(QAbstractButton* button) {
    // Pressing with the pointer leaves the focus where it was (the request editor, usually).
    button->setFocusPolicy(Qt::TabFocus);
    button->setAttribute(Qt::WA_Hover);
}

} // namespace PanelWidgets
