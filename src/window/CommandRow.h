#pragma once

#include "foundation/CommonWidgets.h"

#include <QToolButton>

// A copyable command: the text, selectable, and a copy button that confirms for 1.5 seconds.
class CommandRow : public Card {
    Q_OBJECT
public:
    static constexpr int confirmationMs = 1500;

    explicit CommandRow(const QString& command, QWidget* parent = nullptr);
    bool copied() const { return m_copied; }
    QToolButton* copyButton() const { return m_button; }

private:
    void copy();
    void setCopied(bool copied);

    QString m_command;
    QToolButton* m_button;
    bool m_copied = false;
};
