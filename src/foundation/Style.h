#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QString>

// The text styles, colours and symbols the views share, derived from the platform's own font and
// palette so they follow light and dark themes.
namespace Style {

enum class Text { Body, Title2, Headline, Callout, Caption, Footnote };

QFont font(Text style, QFont::Weight weight = QFont::Normal);
QFont monospaced(Text style);

enum class Tone { Primary, Secondary, Tertiary, Quaternary, Quinary, Separator, Orange, Red, Brand, White };

// A colour for the widget's palette: grey levels are the text colour at decreasing strength.
QColor color(Tone tone, const QPalette& palette);

// A carried symbol ("folder", "checkmark", …) drawn in a tone; it follows palette changes.
QIcon symbol(const QString& name, Tone tone = Tone::Primary);

// The application icon.
QIcon appIcon();

} // namespace Style
