#include "bridge/OutputBuffer.h"

#include <QStringList>
#include <QTextBoundaryFinder>

void OutputBuffer::append(const QString& text) {
    if (text.isEmpty())
        return;
    m_text += text;
    // No more code units than the limit means no more characters either.
    if (m_text.size() <= limit)
        return;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, m_text);
    graphemes.toEnd();
    for (int kept = 0; kept < limit; ++kept) {
        if (graphemes.toPreviousBoundary() <= 0)
            return; // the whole text fits
    }
    m_text.remove(0, graphemes.position());
}

QString OutputBuffer::tail(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() > 4)
        lines = lines.mid(lines.size() - 4);
    return lines.join(QLatin1Char('\n'));
}
