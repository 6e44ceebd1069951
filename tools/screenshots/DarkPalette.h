#pragma once

#include <QColor>
#include <QPalette>

// A dark palette like the desktop's dark appearance, for the dark screenshots.
inline QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(38, 38, 40));
    p.setColor(QPalette::WindowText, QColor(236, 236, 236));
    p.setColor(QPalette::Base, QColor(30, 30, 32));
    p.setColor(QPalette::AlternateBase, QColor(44, 44, 46));
    p.setColor(QPalette::Text, QColor(236, 236, 236));
    p.setColor(QPalette::Button, QColor(58, 58, 60));
    p.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(58, 58, 60));
    p.setColor(QPalette::ToolTipText, QColor(236, 236, 236));
    p.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
    return p;
}
