#include "window/Step.h"

#include "foundation/CommonWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

Step::Step(int number, const QString& title, QWidget* content, QWidget* parent)
    : QWidget(parent), m_number(number), m_badgeSpace(new QWidget(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    m_badgeSpace->setFixedSize(20, 20);
    layout->addWidget(m_badgeSpace, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(makeLabel(title, Style::Text::Headline, Style::Tone::Primary, this));
    column->addWidget(content);
    layout->addLayout(column, 1);
    setAccessibleName(QStringLiteral("Step %1: %2").arg(number).arg(title));
}

void Step::paintEvent(QPaintEvent*) {
    // The badge is painted rather than a widget of its own, which keeps it out of accessibility.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect badge = m_badgeSpace->geometry();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::color(Style::Tone::Quaternary, palette()));
    painter.drawEllipse(badge);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(Style::font(Style::Text::Caption, QFont::DemiBold));
    painter.drawText(badge, Qt::AlignCenter, QString::number(m_number));
}
