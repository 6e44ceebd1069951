#pragma once

#include <QString>

// The owned bridge's most recent output, bounded in user-perceived characters so that a character
// is never cut in two.
class OutputBuffer {
public:
    static constexpr int limit = 8000;

    void append(const QString& text);
    void clear() { m_text.clear(); }
    QString text() const { return m_text; }

    // The last four non-empty lines of a text, joined with line feeds: what failure messages show.
    static QString tail(const QString& text);

private:
    QString m_text;
};
