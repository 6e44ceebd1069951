#pragma once

#include <QKeySequence>
#include <QString>

// The few user-visible words that name the platform. The texts were written for macOS; elsewhere
// they get the plain equivalent and nothing else changes.
namespace PlatformText {

// "this Mac" on macOS, "this computer" elsewhere.
QString thisComputer();

// A shortcut as a help text shows it: "(⇧⌘P)" on macOS, "(Ctrl+Shift+P)" elsewhere.
QString shortcutHint(const QKeySequence& keys);

// Where the desktop turns on what targeting needs, and the button that goes there. On macOS the
// privacy pane that lists Tallyrig; on Linux the desktop's accessibility settings, named as the
// desktop in XDG_CURRENT_DESKTOP names them.
struct AccessSettings {
    QString explanation; // the sentence that says what to turn on, and where
    QString button;      // the title of the button that opens the place
};
AccessSettings accessSettings();

} // namespace PlatformText
