#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A failure that reaches the user as its description: a launch, parse, read or transfer error
// passed through from the platform, or (as PanelError) a message written for the user.
class Failure : public std::exception {
public:
    explicit Failure(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8()) {}

    QString description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};
