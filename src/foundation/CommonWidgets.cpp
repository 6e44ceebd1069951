#include "foundation/CommonWidgets.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QWindow>

Card::Card(QWidget* parent, int radius, Style::Tone fill, bool outlined)
    : QWidget(parent), m_radius(radius), m_fill(fill), m_outlined(outlined) {}

void Card::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(box, m_radius, m_radius);
    const QColor fill =
        m_fill == Style::Tone::Primary ? palette().color(QPalette::Base) : Style::color(m_fill, palette());
    painter.fillPath(path, fill);
    if (m_outlined) {
        painter.setPen(QPen(Style::color(Style::Tone::Separator, palette()), 1));
        painter.drawPath(path);
    }
}

namespace {

FrameFlipperFactory& flipperFactory() {
    static FrameFlipperFactory factory;
    return factory;
}

// A rectangle in the window's device pixels, rounded as the toolkit rounds it.
QRect devicePixels(const QRect& rect, qreal ratio) {
    return QRect((QPointF(rect.topLeft()) * ratio).toPoint(), (QSizeF(rect.size()) * ratio).toSize());
}

} // namespace

Spinner::Spinner(int diameter, QWidget* parent) : QWidget(parent), m_diameter(diameter) {
    setFixedSize(diameter, diameter);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, &Spinner::turn);
}

Spinner::~Spinner() = default;

void Spinner::setFrameFlipperFactory(FrameFlipperFactory factory) {
    flipperFactory() = std::move(factory);
}

void Spinner::setTone(Style::Tone tone) {
    m_tone = tone;
    m_flipStale = true;
    update();
}

void Spinner::turn() {
    m_step = (m_step + 1) % 12;
    if (!flip())
        update();
}

bool Spinner::flip() {
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    // A translucent window blends what lies beneath anew on every paint.
    if (!flipperFactory() || !handle || handle == m_cannotFlip ||
        top->testAttribute(Qt::WA_TranslucentBackground)) {
        m_flipper.reset();
        return false;
    }
    if (!handle->isExposed())
        return true; // nothing on screen to turn
    const QPoint origin = mapTo(top, QPoint());
    if (m_flipStale || handle != m_flipWindow || !m_flipper) {
        if (!prepareFlipper(*handle))
            return false;
        m_flipOrigin.reset();
    }
    // Where it lands is worked out again only when the spinner moved in its window: whatever else
    // changes there repaints the spinner, which makes the flipper stale.
    if (origin != m_flipOrigin) {
        const qreal ratio = handle->devicePixelRatio();
        m_flipVisible = QRegion();
        for (const QRect& rect : visibleRegion())
            m_flipVisible += devicePixels(rect.translated(origin), ratio);
        m_flipAt = devicePixels(QRect(origin, size()), ratio).topLeft();
        m_flipOrigin = origin;
    }
    m_flipper->show(m_step, m_flipAt, m_flipVisible);
    return true;
}

bool Spinner::prepareFlipper(QWindow& window) {
    const qreal ratio = window.devicePixelRatio();
    const QSize pixels = devicePixels(rect(), ratio).size();
    QImage backdrop(pixels, QImage::Format_ARGB32_Premultiplied);
    backdrop.setDevicePixelRatio(ratio);
    backdrop.fill(Qt::transparent);
    // The window painted here without the spinner.
    m_renderingBackdrop = true;
    this->window()->render(&backdrop, QPoint(), QRegion(QRect(mapTo(this->window(), QPoint()), size())),
                           QWidget::DrawWindowBackground | QWidget::DrawChildren);
    m_renderingBackdrop = false;
    m_flipStale = false;

    const QColor base = baseColor();
    if (m_frames.isEmpty() || base != m_framesColor || ratio != m_framesRatio)
        renderFrames(base, ratio);
    else if (m_flipper && &window == m_flipWindow && backdrop == m_backdrop)
        return true;

    QImage strip(pixels.width() * 12, pixels.height(), QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    {
        QPainter painter(&strip);
        for (int frame = 0; frame < 12; ++frame) {
            painter.setViewport(frame * pixels.width(), 0, pixels.width(), pixels.height());
            painter.setWindow(rect());
            painter.drawImage(rect(), backdrop);
            painter.drawPixmap(
                QRect((width() - m_diameter) / 2, (height() - m_diameter) / 2, m_diameter, m_diameter),
                m_frames[frame]);
        }
    }
    m_flipper = flipperFactory()(window, strip, 12);
    m_flipWindow = &window;
    m_backdrop = backdrop;
    if (!m_flipper)
        m_cannotFlip = &window; // painted from now on, without asking again
    return m_flipper != nullptr;
}

QColor Spinner::baseColor() const {
    // Active colours even inside a disabled button, where the spinner says that work goes on.
    QPalette colours = palette();
    colours.setCurrentColorGroup(QPalette::Active);
    return Style::color(m_tone, colours);
}

void Spinner::renderFrames(const QColor& base, qreal ratio) {
    m_frames.clear();
    const qreal outer = m_diameter / 2.0;
    for (int frame = 0; frame < 12; ++frame) {
        QPixmap pixmap(QSize(m_diameter, m_diameter) * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(outer, outer);
        for (int i = 0; i < 12; ++i) {
            QColor spoke = base;
            spoke.setAlphaF(base.alphaF() * (0.2 + 0.8 * ((i + 12 - frame) % 12) / 11.0));
            painter.setPen(QPen(spoke, std::max(1.2, m_diameter / 9.0), Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -outer * 0.45), QPointF(0, -outer * 0.9));
            painter.rotate(30);
        }
        m_frames.append(pixmap);
    }
    m_framesColor = base;
    m_framesRatio = ratio;
}

void Spinner::paintEvent(QPaintEvent*) {
    if (m_renderingBackdrop)
        return;
    // The window painted over this spot: what lies beneath may have changed since the flipper's
    // frames were made.
    m_flipStale = true;
    const QColor base = baseColor();
    const qreal ratio = devicePixelRatioF();
    if (m_frames.isEmpty() || base != m_framesColor || ratio != m_framesRatio)
        renderFrames(base, ratio);
    QPainter(this).drawPixmap(QPoint((width() - m_diameter) / 2, (height() - m_diameter) / 2),
                              m_frames[m_step]);
}

void Spinner::showEvent(QShowEvent*) {
    m_timer.start();
}

void Spinner::hideEvent(QHideEvent*) {
    m_timer.stop();
    m_flipper.reset();
}

SymbolView::SymbolView(const QString& name, Style::Tone tone, int size, QWidget* parent)
    : QLabel(parent), m_name(name), m_tone(tone), m_size(size) {
    setFixedSize(size, size);
    render();
}

void SymbolView::setSymbol(const QString& name, Style::Tone tone) {
    m_name = name;
    m_tone = tone;
    render();
}

void SymbolView::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        render();
}

void SymbolView::render() {
    setPixmap(Style::symbol(m_name, m_tone).pixmap(QSize(m_size, m_size), devicePixelRatioF()));
}

MiddleElidedLabel::MiddleElidedLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), m_text(text) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize MiddleElidedLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

void MiddleElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.setFont(font());
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideMiddle, contentsRect().width());
    painter.drawText(contentsRect(), int(alignment()), shown);
}

namespace {

// The widget that holds the focus as the application last announced it: while a focus arrives,
// the one that held it before.
QPointer<QWidget>& announcedFocus() {
    static QPointer<QWidget> widget;
    return widget;
}

} // namespace

void followFocus() {
    static const bool following = [] {
        QObject::connect(qApp, &QApplication::focusChanged, qApp,
                         [](QWidget*, QWidget* now) { announcedFocus() = now; });
        announcedFocus() = QApplication::focusWidget();
        return true;
    }();
    Q_UNUSED(following);
}

bool isKeyboardFocus(const QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason && reason != Qt::ShortcutFocusReason)
        return false;
    const QWidget* before = announcedFocus();
    return !before || before->isVisible();
}

namespace {

// Re-tints its widget whenever the application's palette changes (a light or dark theme).
class ToneKeeper : public QObject {
public:
    ToneKeeper(QWidget* widget, Style::Tone tone) : QObject(widget), m_widget(widget), m_tone(tone) {
        widget->installEventFilter(this);
        apply();
    }
    void setTone(Style::Tone tone) {
        m_tone = tone;
        apply();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::PaletteChange && !m_applying)
            apply();
        return false;
    }

private:
    void apply() {
        // From the application's palette, so a tone is never applied on top of itself.
        QPalette palette = m_widget->palette();
        const QColor c = Style::color(m_tone, QApplication::palette());
        palette.setColor(QPalette::WindowText, c);
        palette.setColor(QPalette::Text, c);
        m_applying = true;
        m_widget->setPalette(palette);
        m_applying = false;
    }

    QWidget* m_widget;
    Style::Tone m_tone;
    bool m_applying = false;
};

} // namespace

void setTone(QWidget* widget, Style::Tone tone) {
    if (auto* keeper = widget->findChild<ToneKeeper*>(QString(), Qt::FindDirectChildrenOnly))
        keeper->setTone(tone);
    else
        new ToneKeeper(widget, tone);
}

QLabel* makeLabel(const QString& text, Style::Text style, Style::Tone tone, QWidget* parent,
                  QFont::Weight weight) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(style, weight));
    label->setWordWrap(true);
    setTone(label, tone);
    return label;
}
