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

} // namespace PlatformText
