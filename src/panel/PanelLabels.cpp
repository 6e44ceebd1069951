#include "panel/PanelLabels.h"

#include "foundation/Style.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace PanelWidgets {

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

} // namespace PanelWidgets
