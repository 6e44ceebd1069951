#include "window/ProminentButton.h"

#include <QPushButton>

void makeProminent(QPushButton* button) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
    button->setPalette(palette);
}
