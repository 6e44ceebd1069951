#include "window/RecentRow.h"

#include "foundation/CommonWidgets.h"

#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QPainter>

RecentRow::RecentRow(const QString& folder, QWidget* parent) : QAbstractButton(parent), m_folder(folder) {
    const QString name = QFileInfo(folder).fileName().isEmpty() ? folder : QFileInfo(folder).fileName();
    setText(name);
    setAccessibleName(name);
    setAccessibleDescription(parentText(folder));
    setToolTip(folder);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    followFocus();
}

QString RecentRow::parentText(const QString& folder) {
    QString parent = QFileInfo(folder).path();
    const QString home = QDir::homePath();
    // Only a whole leading home folder becomes "~": /home/me2 is not inside /home/me.
    if (home != QLatin1String("/") && (parent == home || parent.startsWith(home + QLatin1Char('/'))))
        parent = QLatin1Char('~') + parent.mid(home.size());
    return parent;
}

QSize RecentRow::sizeHint() const {
    const QFontMetrics name(Style::font(Style::Text::Body));
    const QFontMetrics caption(Style::font(Style::Text::Caption));
    return {200, 4 + name.height() + caption.height() + 4};
}

void RecentRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hovered || m_keyboardFocus) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Style::color(isDown() ? Style::Tone::Quaternary : Style::Tone::Quinary, palette()));
        painter.drawRoundedRect(QRectF(rect()).adjusted(-6, 0, 6, 0), 6, 6);
    }
    const QFontMetrics nameMetrics(Style::font(Style::Text::Body));
    const QFontMetrics captionMetrics(Style::font(Style::Text::Caption));
    const int top = 4;
    const int iconSize = 16;
    const QRect iconRect(0, (height() - iconSize) / 2, iconSize, iconSize);
    Style::symbol(QStringLiteral("folder"), Style::Tone::Secondary).paint(&painter, iconRect);

    const int textLeft = iconSize + 8;
    const QRect nameRect(textLeft, top, width() - textLeft, nameMetrics.height());
    painter.setFont(Style::font(Style::Text::Body));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(text(), Qt::ElideRight, nameRect.width()));

    const QRect parentRect(textLeft, nameRect.bottom() + 1, width() - textLeft, captionMetrics.height());
    painter.setFont(Style::font(Style::Text::Caption));
    painter.setPen(Style::color(Style::Tone::Secondary, palette()));
    painter.drawText(parentRect, Qt::AlignLeft | Qt::AlignVCenter,
                     captionMetrics.elidedText(parentText(m_folder), Qt::ElideMiddle, parentRect.width()));
}

void RecentRow::focusInEvent(QFocusEvent* event) {
    // Only focus that arrives by keyboard is shown; a window's first focus is not the user's doing.
    m_keyboardFocus = isKeyboardFocus(event);
    update();
    QAbstractButton::focusInEvent(event);
}

void RecentRow::focusOutEvent(QFocusEvent* event) {
    m_keyboardFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

void RecentRow::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void RecentRow::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}
