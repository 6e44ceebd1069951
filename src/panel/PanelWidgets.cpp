#include "panel/PanelWidgets.h"

#include "foundation/AccessibleButton.h"
#include "foundation/CommonWidgets.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace PanelWidgets {

namespace {

// The colours a control is drawn in: the active ones, whatever the window's or the control's
// state, which each control shows in its own way (a disabled control's own colours may be too
// faint to draw anything with).
QPalette tones(const QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setCurrentColorGroup(QPalette::Active);
    return palette;
}

// How much stronger a plate gets under the pointer and while pressed.
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

} // namespace

void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Style::color(Style::Tone::Brand, palette, 0.7), 2));
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
    painter.restore();
}

QLabel* makeLabel(const QString& text, Style::Text style, Style::Tone tone, QWidget* parent,
                  QFont::Weight weight) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(style, weight));
    label->setWordWrap(true);
    setTone(label, tone);
    return label;
}

// ---- FocusRingButton

FocusRingButton::FocusRingButton(QWidget* parent) : QAbstractButton(parent) {
    AccessibleButton::clickOnAction(this);
    followFocus();
}

void FocusRingButton::focusInEvent(QFocusEvent* event) {
    m_keyboardFocus = isKeyboardFocus(event);
    QAbstractButton::focusInEvent(event);
}

void FocusRingButton::focusOutEvent(QFocusEvent* event) {
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

// ---- SymbolButton

SymbolButton::SymbolButton(const QString& symbol, int iconSize, QSize box, QWidget* parent)
    : FocusRingButton(parent), m_symbol(symbol), m_iconSize(iconSize), m_box(box) {
    setUpButton(this);
    setFixedSize(box);
}

void SymbolButton::setSymbol(const QString& symbol) {
    m_symbol = symbol;
    update();
}

void SymbolButton::setTones(Style::Tone icon, Style::Tone plate, qreal plateOpacity) {
    m_icon = icon;
    m_plate = plate;
    m_plateOpacity = plateOpacity;
    update();
}

void SymbolButton::setMirrorsState(bool mirrors) {
    m_mirrors = mirrors;
    setCheckable(mirrors);
}

void SymbolButton::nextCheckState() {
    if (!m_mirrors)
        QAbstractButton::nextCheckState();
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = rect();
    QColor plate;
    if (m_plateOpacity > 0 && m_plate == Style::Tone::Brand)
        plate = pressedBrand(this);
    else if (m_plateOpacity > 0)
        plate = Style::color(m_plate, tones(this), std::min(1.0, m_plateOpacity + plateBoost(this)));
    else if (plateBoost(this) > 0)
        plate = Style::color(Style::Tone::Primary, tones(this), plateBoost(this) + 0.02);
    if (plate.isValid()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(plate);
        painter.drawRoundedRect(box, m_radius, m_radius);
    }
    QColor tint = Style::color(m_icon, tones(this));
    if (!isEnabled())
        tint.setAlphaF(tint.alphaF() * 0.4);
    else if (isDown() && m_plateOpacity == 0)
        tint.setAlphaF(tint.alphaF() * 0.6);
    const QRect icon(QPoint((width() - m_iconSize) / 2, (height() - m_iconSize) / 2),
                     QSize(m_iconSize, m_iconSize));
    painter.drawPixmap(icon, Style::symbolPixmap(m_symbol, tint, m_iconSize, devicePixelRatioF(), m_weight));
    if (showsFocusRing())
        paintFocusRing(painter, box, m_radius, tones(this));
}

// ---- PanelButton

PanelButton::PanelButton(const QString& text, Kind kind, Size size, QWidget* parent)
    : FocusRingButton(parent), m_kind(kind), m_size(size) {
    setUpButton(this);
    setText(text);
    setFont(Style::font(size == Size::Small ? Style::Text::Callout : Style::Text::Body,
                        kind == Kind::Prominent ? QFont::Medium : QFont::Normal));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PanelButton::setKind(Kind kind) {
    m_kind = kind;
    toneSpinner();
    update();
}

void PanelButton::setTextTone(Style::Tone tone) {
    m_textTone = tone;
    update();
}

void PanelButton::setMonospaced(bool monospaced) {
    setFont(monospaced ? Style::monospaced(Style::Text::Caption)
                       : Style::font(m_size == Size::Small ? Style::Text::Callout : Style::Text::Body));
    updateGeometry();
}

void PanelButton::setBusy(bool busy) {
    if (m_busy == busy)
        return;
    m_busy = busy;
    if (busy && !m_spinner) {
        m_spinner = new Spinner(m_size == Size::Small ? 10 : 12, this);
        placeSpinner();
    }
    if (m_spinner) {
        toneSpinner();
        m_spinner->setVisible(busy);
    }
    update();
}

void PanelButton::toneSpinner() {
    if (m_spinner)
        m_spinner->setTone(m_kind == Kind::Prominent && isEnabled() ? Style::Tone::White
                                                                    : Style::Tone::Secondary);
}

void PanelButton::placeSpinner() {
    if (m_spinner)
        m_spinner->move((width() - m_spinner->width()) / 2, (height() - m_spinner->height()) / 2);
}

QSize PanelButton::sizeHint() const {
    const int height = m_size == Size::Small ? 22 : 26;
    const int padding = m_size == Size::Small ? 10 : 14;
    const int minimum = m_size == Size::Small ? 0 : 64;
    return {std::max(minimum, fontMetrics().horizontalAdvance(text()) + 2 * padding), height};
}

void PanelButton::nextCheckState() {
    if (!m_mirrors)
        QAbstractButton::nextCheckState();
}

void PanelButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    if (event->type() == QEvent::EnabledChange)
        toneSpinner();
}

void PanelButton::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    placeSpinner();
}

void PanelButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = m_size == Size::Small ? 6 : 7;
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // A prominent button that cannot be pressed turns grey, as the platform's own do.
    const bool filled = (m_kind == Kind::Prominent && isEnabled()) || (isCheckable() && isChecked());
    QColor text;
    painter.setPen(Qt::NoPen);
    if (filled) {
        painter.setBrush(pressedBrand(this));
        text = QColor(255, 255, 255, isEnabled() ? 255 : 200);
    } else {
        painter.setBrush(
            Style::color(Style::Tone::Primary, tones(this), (isEnabled() ? 0.08 : 0.05) + plateBoost(this)));
        text = Style::color(m_textTone, tones(this), isEnabled() ? 1.0 : 0.4);
    }
    painter.drawRoundedRect(box, radius, radius);
    if (!m_busy) {
        painter.setPen(text);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, this->text());
    }
    if (showsFocusRing())
        paintFocusRing(painter, rect(), radius, tones(this));
}

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

// ---- LinkButton

LinkButton::LinkButton(const QString& symbol, const QString& text, QWidget* parent)
    : FocusRingButton(parent), m_symbol(symbol) {
    setUpButton(this);
    setText(text);
    setFont(Style::font(Style::Text::Caption));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    const int icon = metrics.height() - 2;
    return {icon + 4 + metrics.horizontalAdvance(text()) + 2, metrics.height() + 4};
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor tint = Style::brand();
    if (isDown())
        tint.setAlphaF(0.6);
    const QFontMetrics metrics = fontMetrics();
    const int icon = metrics.height() - 2;
    const QRect iconRect(0, (height() - icon) / 2, icon, icon);
    painter.drawPixmap(iconRect, Style::symbolPixmap(m_symbol, tint, icon, devicePixelRatioF()));
    QFont font = this->font();
    font.setUnderline(underMouse() && isEnabled());
    painter.setFont(font);
    painter.setPen(tint);
    painter.drawText(QRect(icon + 4, 0, width() - icon - 4, height()), Qt::AlignVCenter | Qt::AlignLeft,
                     text());
    if (showsFocusRing())
        paintFocusRing(painter, rect(), 4, tones(this));
}

// ---- ClampedLabel

ClampedLabel::ClampedLabel(int maxLines, QWidget* parent) : QLabel(parent), m_maxLines(maxLines) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ClampedLabel::setMaxLines(int lines) {
    m_maxLines = lines;
    updateGeometry();
    update();
}

namespace {

// The lines the text takes at a width, at most `maxLines`; the last one may need cutting.
struct Clamped {
    QStringList lines;
    bool cut = false;
};

Clamped clamp(const QString& text, const QFont& font, int width, int maxLines) {
    Clamped result;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(std::max(1, width));
        if (result.lines.size() == maxLines - 1) {
            const QString rest = text.mid(line.textStart());
            const QString single = QString(rest).replace(QLatin1Char('\n'), QLatin1Char(' '));
            result.cut = line.textStart() + line.textLength() < text.size();
            result.lines.append(result.cut ? QFontMetrics(font).elidedText(single, Qt::ElideRight, width)
                                           : rest);
            break;
        }
        result.lines.append(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    if (result.lines.isEmpty())
        result.lines.append(QString());
    return result;
}

} // namespace

int ClampedLabel::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    const Clamped clamped = clamp(text(), font(), width - margins.left() - margins.right(), m_maxLines);
    return int(clamped.lines.size()) * fontMetrics().lineSpacing() + margins.top() + margins.bottom();
}

QSize ClampedLabel::sizeHint() const {
    const int natural = fontMetrics().horizontalAdvance(text()) + 1;
    const int width = std::min(natural, 300);
    return {width, heightForWidth(width)};
}

QSize ClampedLabel::minimumSizeHint() const {
    return {0, fontMetrics().lineSpacing()};
}

void ClampedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    const Clamped clamped = clamp(text(), font(), area.width(), m_maxLines);
    const int lineHeight = fontMetrics().lineSpacing();
    int y = area.top();
    for (const QString& line : clamped.lines) {
        painter.drawText(QRect(area.left(), y, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         line.trimmed());
        y += lineHeight;
    }
}

// ---- TabularLabel

qreal TabularLabel::digitWidth() const {
    const QFontMetricsF metrics(font());
    qreal widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit)
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
    return widest;
}

qreal TabularLabel::advance(QChar c) const {
    return c.isDigit() ? digitWidth() : QFontMetricsF(font()).horizontalAdvance(c);
}

QSize TabularLabel::sizeHint() const {
    qreal width = 0;
    for (const QChar c : text())
        width += advance(c);
    const QMargins margins = contentsMargins();
    return {int(std::ceil(width)) + margins.left() + margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

void TabularLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    const QRectF area = contentsRect();
    // Right-aligned, as a number in a column is.
    qreal x = area.right() + 1 - (sizeHint().width() - contentsMargins().left() - contentsMargins().right());
    for (const QChar c : text()) {
        const qreal width = advance(c);
        painter.drawText(QRectF(x, area.top(), width, area.height()), Qt::AlignCenter, QString(c));
        x += width;
    }
}

// ---- SymbolText

SymbolText::SymbolText(const QString& before, const QString& symbol, const QString& after,
                       const QString& spoken, QWidget* parent)
    : QLabel(spoken, parent), m_before(before), m_symbol(symbol), m_after(after) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    m_document.setDocumentMargin(0);
    build();
}

void SymbolText::build() {
    m_document.setDefaultFont(font());
    const int size = QFontMetrics(font()).ascent();
    const QColor tint = palette().color(foregroundRole());
    const QUrl source(QStringLiteral("symbol:%1").arg(m_symbol));
    m_document.addResource(QTextDocument::ImageResource, source,
                           Style::symbolPixmap(m_symbol, tint, size, 2.0).toImage());
    m_document.setHtml(QStringLiteral("%1<img src=\"%2\" width=\"%3\" height=\"%3\" style=\"vertical-align: "
                                      "middle\">%4")
                           .arg(m_before.toHtmlEscaped(), source.toString())
                           .arg(size)
                           .arg(m_after.toHtmlEscaped()));
}

void SymbolText::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        build();
        updateGeometry();
    }
}

int SymbolText::heightForWidth(int width) const {
    m_document.setTextWidth(width);
    return int(std::ceil(m_document.size().height()));
}

QSize SymbolText::sizeHint() const {
    m_document.setTextWidth(-1);
    const int natural = int(std::ceil(m_document.idealWidth()));
    const int width = std::min(natural, 300);
    return {width, heightForWidth(width)};
}

QSize SymbolText::minimumSizeHint() const {
    return {0, fontMetrics().lineSpacing()};
}

void SymbolText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_document.setTextWidth(width());
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.palette.setColor(QPalette::Text, palette().color(foregroundRole()));
    m_document.documentLayout()->draw(&painter, context);
}

// ---- Divider, Dot

Divider::Divider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Style::color(Style::Tone::Separator, tones(this)));
}

Dot::Dot(int diameter, Style::Tone tone, QWidget* parent) : QWidget(parent), m_tone(tone) {
    setFixedSize(diameter, diameter);
}

void Dot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::color(m_tone, palette()));
    painter.drawEllipse(QRectF(rect()));
}

} // namespace PanelWidgets
