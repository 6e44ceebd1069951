#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>

// The text styles, colours and symbols the views share, derived from the platform's own font and
// palette so they follow light and dark themes.
namespace Style {

enum class Text { Body, Title2, Headline, Callout, Caption, Footnote };

QFont font(Text style, QFont::Weight weight = QFont::Normal);
QFont monospaced(Text style);
// A face at a size the design gives in points, whatever the desktop's own text size.
QFont font(qreal points, QFont::Weight weight = QFont::Normal);
QFont monospaced(qreal points);

enum class Tone {
    Primary,
    Secondary,
    Tertiary,
    Quaternary,
    Quinary,
    Separator,
    Orange,
    Red,
    Green,
    Brand,
    White
};

// A colour for the widget's palette: grey levels are the text colour at decreasing strength.
QColor color(Tone tone, const QPalette& palette);
// The tone with its opacity multiplied by `opacity` ("the primary colour at 7%").
QColor color(Tone tone, const QPalette& palette, qreal opacity);

// Tallyrig's own colour (Brand::rgb): the panel's accents and the pick overlay's highlight.
QColor brand();

// A carried symbol ("folder", "checkmark", …) drawn in a tone; it follows palette changes.
QIcon symbol(const QString& name, Tone tone = Tone::Primary);

// A carried symbol in any colour, square, for a painter: rendered once per colour, size, pixel
// ratio and weight, so repainting costs a copy. A line symbol's weight is its stroke's width;
// a filled one has none.
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal ratio,
                     QFont::Weight weight = QFont::Normal);

// The application icon.
QIcon appIcon();

} // namespace Style
