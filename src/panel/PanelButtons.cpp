#include "panel/PanelButtons.h"

#include "foundation/AccessibleButton.h"
#include "foundation/CommonWidgets.h"
#include "panel/PanelLook.h"

#include <QEvent>
#include <QFocusEvent>
#include <QPainter>

#include <algorithm>

namespace PanelWidgets {

void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Style::color(Style::Tone::Brand, palette, 0.7), 2));
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
    painter.restore();
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

} // namespace PanelWidgets
