#include "window/CommandRow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

CommandRow::CommandRow(const QString& command, QWidget* parent)
    : Card(parent, 6, Style::Tone::Quinary, false), m_command(command), m_button(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 7, 10, 7);
    auto* text = new QLabel(command, this);
    text->setTextFormat(Qt::PlainText);
    text->setFont(Style::monospaced(Style::Text::Body));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(text);
    layout->addStretch(1);

    m_button->setAutoRaise(true);
    m_button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_button->setToolTip(QStringLiteral("Copy ") + command);
    m_button->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_button);
    connect(m_button, &QToolButton::clicked, this, &CommandRow::copy);
    setCopied(false);
}

void CommandRow::copy() {
    QApplication::clipboard()->clear();
    QApplication::clipboard()->setText(m_command);
    setCopied(true);
    // Each press has its own timer; whichever ends first takes the confirmation away.
    QTimer::singleShot(confirmationMs, this, [this] { setCopied(false); });
}

void CommandRow::setCopied(bool copied) {
    m_copied = copied;
    const QString title = copied ? QStringLiteral("Copied") : QStringLiteral("Copy");
    m_button->setText(title);
    m_button->setAccessibleName(title);
    m_button->setIcon(Style::symbol(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"),
                                    Style::Tone::Secondary));
}
