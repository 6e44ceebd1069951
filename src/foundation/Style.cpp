#include "foundation/Style.h"

#include "foundation/Brand.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

#include <optional>

namespace Style {

namespace {

// Sizes relative to body text, as the platform's text styles relate to each other.
qreal scale(Text style) {
    switch (style) {
    case Text::Body:
    case Text::Headline:
        return 1.0;
    case Text::Title2:
        return 17.0 / 13.0;
    case Text::Callout:
        return 12.0 / 13.0;
    case Text::Caption:
    case Text::Footnote:
        return 10.0 / 13.0;
    }
    return 1.0;
}

// Draws a carried SVG, tinted with a tone when it has one. Painted here rather than through Qt's SVG
// icon plugin, which would be loaded, with the image format plugins, at every start.
class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(QByteArray svg, std::optional<Tone> tone) : m_svg(std::move(svg)), m_tone(tone) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        QByteArray svg = m_svg;
        if (m_tone) {
            QPalette palette = QApplication::palette();
            if (mode == QIcon::Disabled)
                palette.setCurrentColorGroup(QPalette::Disabled);
            QColor tint = color(*m_tone, palette);
            if (mode == QIcon::Selected)
                tint = palette.color(QPalette::HighlightedText);
            svg.replace("currentColor", tint.name(QColor::HexRgb).toLatin1());
            painter->setOpacity(painter->opacity() * tint.alphaF());
        }
        QSvgRenderer renderer(svg);
        renderer.render(painter, QRectF(rect));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap result = pixmap(size * scale, mode, state);
        result.setDevicePixelRatio(scale);
        return result;
    }

    QIconEngine* clone() const override { return new SymbolEngine(m_svg, m_tone); }
    QString key() const override { return QStringLiteral("TallyrigSymbol"); }

private:
    QByteArray m_svg;
    std::optional<Tone> m_tone;
};

QByteArray svgSource(const QString& path) {
    static QHash<QString, QByteArray> cache;
    auto it = cache.find(path);
    if (it == cache.end()) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        it = cache.insert(path, file.readAll());
    }
    return *it;
}

QColor withAlpha(QColor c, qreal alpha) {
    c.setAlphaF(alpha);
    return c;
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

} // namespace

QFont font(Text style, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPointSizeF(f.pointSizeF() * scale(style));
    if (style == Text::Headline && weight == QFont::Normal)
        weight = QFont::DemiBold;
    f.setWeight(weight);
    return f;
}

QFont monospaced(Text style) {
    return monospaced(QApplication::font().pointSizeF() * scale(style));
}

QFont font(qreal points, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPointSizeF(points);
    f.setWeight(weight);
    return f;
}

QFont monospaced(qreal points) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(points);
    return f;
}

QColor color(Tone tone, const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    switch (tone) {
    case Tone::Primary:
        return text;
    case Tone::Secondary:
        return withAlpha(text, 0.62);
    case Tone::Tertiary:
        return withAlpha(text, 0.42);
    case Tone::Quaternary:
        return withAlpha(text, 0.12);
    case Tone::Quinary:
        return withAlpha(text, 0.06);
    case Tone::Separator:
        return withAlpha(text, 0.16);
    case Tone::Orange:
        return isDark(palette) ? QColor(255, 159, 10) : QColor(230, 126, 0);
    case Tone::Red:
        return isDark(palette) ? QColor(255, 69, 58) : QColor(215, 40, 30);
    case Tone::Green:
        return isDark(palette) ? QColor(48, 209, 88) : QColor(30, 150, 60);
    case Tone::Brand:
        return brand();
    case Tone::White:
        return QColor(255, 255, 255);
    }
    return text;
}

QColor color(Tone tone, const QPalette& palette, qreal opacity) {
    QColor c = color(tone, palette);
    c.setAlphaF(c.alphaF() * opacity);
    return c;
}

QColor brand() {
    return QColor(Brand::rgb);
}

QIcon symbol(const QString& name, Tone tone) {
    return QIcon(new SymbolEngine(svgSource(QStringLiteral(":/icons/%1.svg").arg(name)), tone));
}

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal ratio, QFont::Weight weight) {
    static QHash<QString, QPixmap> cache;
    const QString key = QStringLiteral("%1|%2|%3|%4|%5")
                            .arg(name, color.name(QColor::HexArgb))
                            .arg(size)
                            .arg(ratio)
                            .arg(int(weight));
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    QByteArray svg = svgSource(QStringLiteral(":/icons/%1.svg").arg(name));
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    // The carried line symbols are drawn 2 units wide on a 24-unit grid, the regular weight; each
    // step of weight above it adds a little, as the platform's symbols thicken.
    if (weight > QFont::Normal) {
        const double width = 2.0 + 0.3 * (weight - QFont::Normal) / (QFont::Medium - QFont::Normal);
        svg.replace("stroke-width=\"2\"", "stroke-width=\"" + QByteArray::number(width) + '"');
    }
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(color.alphaF());
        QSvgRenderer(svg).render(&painter, QRectF(0, 0, size, size));
    }
    // Colours and sizes are few; the cache stays small.
    return *cache.insert(key, pixmap);
}

QIcon appIcon() {
    return QIcon(new SymbolEngine(svgSource(QStringLiteral(":/AppIcon.svg")), std::nullopt));
}

} // namespace Style
