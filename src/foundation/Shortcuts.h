#pragma once

#include <QKeySequence>

// Keyboard shortcuts that more than one place names: the command that has it and the help texts
// that mention it. Ctrl stands for Command on macOS.
namespace Shortcuts {

// The app menu's "Simulator Panel" command.
inline QKeySequence simulatorPanel() {
    return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P);
}

// The app menu's "Settings…" command.
inline QKeySequence settings() {
    return QKeySequence(Qt::CTRL | Qt::Key_Comma);
}

// The composer's Send button, and the same from the keypad.
inline QKeySequence send() {
    return QKeySequence(Qt::CTRL | Qt::Key_Return);
}
inline QKeySequence sendFromKeypad() {
    return QKeySequence(Qt::CTRL | Qt::Key_Enter);
}

} // namespace Shortcuts
