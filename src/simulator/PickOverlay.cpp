#include "simulator/PickOverlay.h"

#include "foundation/Geometry.h"
#include "foundation/Style.h"
#include "simulator/PickDrawing.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// How often a still pointer that found nothing asks a live tree again.
constexpr int stillRetry = 500; // milliseconds
constexpr double tintAlpha = 0.06;
constexpr double fillAlpha = 0.16;
constexpr double strokeWidth = PickDrawing::outlineWidth;
constexpr double highlightRadius = PickDrawing::outlineRadius;
constexpr double tagRadius = 4;
// Font sizes are in the desktop's points, which are the toolkit's logical pixels.
constexpr int tagFontSize = 11;
// Around a canvas: the device window's own place, dimmed, so that only the picture reads as live.
const QColor canvasBackdrop(28, 28, 30);

QColor brandAt(double alpha) {
    QColor colour = Style::brand();
    colour.setAlphaF(float(alpha));
    return colour;
}

} // namespace

// ---- PickView

PickView::PickView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_NoSystemBackground);
}

QFont PickView::tagFont(bool mono) {
    QFont font = mono ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font();
    font.setPixelSize(tagFontSize);
    font.setWeight(QFont::Medium);
    return font;
}

void PickView::pointerMoved(const QPointF& at) {
    if (onMove)
        onMove(at);
}

void PickView::leftPressed(const QPointF& at, bool more) {
    if (onClick)
        onClick(at, more);
}

void PickView::rightPressed() {
    if (onCancel)
        onCancel();
}

std::optional<QRectF> PickView::drawnHighlight() const {
    if (!highlight || highlight->width() <= 0 || highlight->height() <= 0)
        return std::nullopt;
    return highlight->translated(-origin);
}

std::optional<PickView::Tag> PickView::tag(const QRectF& h) const {
    if (!label)
        return std::nullopt;
    Tag tag;
    tag.font = tagFont(mono);
    tag.text = PickDrawing::tagText(*label);
    const QFontMetricsF metrics(tag.font);
    const QSizeF size(metrics.horizontalAdvance(tag.text), metrics.height());
    tag.rect = PickDrawing::tagRect(h, size, width());
    return tag;
}

void PickView::paintCanvas(QPainter& painter) {
    painter.fillRect(rect(), canvasBackdrop);
    if (!screen)
        return;
    const QRectF target = screen->translated(-origin);
    // Scaled once per size, smoothly, for the screen's own pixels.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (target.size() * ratio).toSize();
    const qint64 key = canvas.cacheKey() ^ (qint64(pixels.width()) << 32) ^ pixels.height();
    if (m_scaledCanvas.isNull() || m_scaledFrom != key) {
        m_scaledCanvas =
            QPixmap::fromImage(canvas.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaledCanvas.setDevicePixelRatio(ratio);
        m_scaledFrom = key;
    }
    painter.drawPixmap(target.topLeft(), m_scaledCanvas);
}

void PickView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Without blending only the window's shape shows, and every pixel of it is the outline's or the
    // tag's colour, however the shape's edges fall.
    painter.fillRect(rect(), translucent ? QColor(Qt::transparent) : Style::brand());
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!canvas.isNull())
        paintCanvas(painter);

    if (screen && translucent)
        painter.fillRect(screen->translated(-origin), brandAt(tintAlpha));
    const QRectF bounds = screen.value_or(QRectF(origin, size())).translated(-origin);
    for (PickDrawing::Pin pin : pins) {
        if (pin.frame)
            pin.frame = pin.frame->translated(-origin);
        pin.point -= origin;
        PickDrawing::paintPin(painter, pin, 1, bounds, translucent);
    }
    const std::optional<QRectF> h = drawnHighlight();
    if (!h)
        return;
    painter.setRenderHint(QPainter::Antialiasing, translucent);
    QPainterPath outline;
    outline.addRoundedRect(*h, highlightRadius, highlightRadius);
    if (translucent)
        painter.fillPath(outline, brandAt(fillAlpha));
    painter.strokePath(outline, QPen(Style::brand(), strokeWidth));

    const std::optional<Tag> drawn = tag(*h);
    if (!drawn)
        return;
    QPainterPath background;
    background.addRoundedRect(drawn->rect, tagRadius, tagRadius);
    painter.fillPath(background, Style::brand());
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(drawn->font);
    painter.setPen(Qt::white);
    const QFontMetricsF metrics(drawn->font);
    painter.drawText(PickDrawing::textOrigin(drawn->rect) + QPointF(0, metrics.ascent()), drawn->text);
}

QRegion PickView::opaqueRegion() const {
    const std::optional<QRectF> h = drawnHighlight();
    QPainterPath pinShapes;
    const QRectF area = screen.value_or(QRectF(origin, size())).translated(-origin);
    for (PickDrawing::Pin pin : pins) {
        if (pin.frame)
            pin.frame = pin.frame->translated(-origin);
        pin.point -= origin;
        pinShapes = pinShapes.united(PickDrawing::pinShape(pin, 1, area));
    }
    if (!h && pinShapes.isEmpty())
        return {};
    QPainterPath shapes;
    if (h)
        shapes.addRoundedRect(*h, highlightRadius, highlightRadius);
    QPainterPath stroke = QPainterPathStroker(QPen(Qt::black, strokeWidth)).createStroke(shapes);
    QPainterPath tagShape;
    if (const std::optional<Tag> drawn = h ? tag(*h) : std::nullopt)
        tagShape.addRoundedRect(drawn->rect, tagRadius, tagRadius);
    tagShape = tagShape.united(pinShapes);
    const QRect bounds =
        (stroke.boundingRect() | tagShape.boundingRect()).toAlignedRect().adjusted(-1, -1, 1, 1);
    QBitmap mask(bounds.size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.translate(-bounds.topLeft());
    painter.setPen(QPen(Qt::color1, strokeWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shapes);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawPath(tagShape);
    painter.end();
    return QRegion(mask).translated(bounds.topLeft());
}

void PickView::mouseMoveEvent(QMouseEvent* event) {
    setCursor(Qt::CrossCursor);
    // The event's position keeps the fraction of a point that a scaled screen's pixel is.
    pointerMoved(event->globalPosition());
}

void PickView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        leftPressed(event->globalPosition(), event->modifiers() & Qt::ShiftModifier);
    else if (event->button() == Qt::RightButton)
        rightPressed();
}

void PickView::keyPressEvent(QKeyEvent* event) {
    if (onKey && onKey(event))
        return;
    if (event->key() == Qt::Key_Escape) {
        if (onCancel)
            onCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PickView::enterEvent(QEnterEvent*) {
    setCursor(Qt::CrossCursor);
}

// ---- OverlayPanel

OverlayPanel::OverlayPanel(PickView* view, bool translucent, bool opaque)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint |
                           (translucent || opaque ? Qt::WindowFlags() : Qt::WindowTransparentForInput)),
      m_view(view), m_translucent(translucent), m_opaque(opaque) {
    setWindowTitle(QStringLiteral("Tallyrig Targeting"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_MacAlwaysShowToolWindow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    // On a canvas every pixel is ours, so the drawing may blend as over a composited desktop.
    view->translucent = translucent || opaque;
}

// ---- PickOverlay

PickOverlay::PickOverlay(TargetScreen target, platform::WindowSystem& windows, SimulatorWindow sim,
                         QObject* parent)
    : QObject(parent), m_target(std::move(target)), m_windows(windows), m_sim(std::move(sim)),
      m_view(new PickView) {
    if (!m_target.elements)
        m_target.elements = ElementSources::none();
    m_screen = m_target.screen;
    if (m_target.canvas && m_target.still)
        m_view->canvas = QImage::fromData(m_target.still->png, "PNG");
    const bool canvas = !m_view->canvas.isNull();
    m_window = std::make_unique<OverlayPanel>(m_view, m_windows.compositing() && !canvas, canvas);
    m_window->setGeometry(m_sim.frame.toRect());
    m_view->origin = m_sim.frame.topLeft();

    // A busy application may not have answered in time, and a screen may fill in under a pointer
    // that does not move: both would leave the highlight off until the mouse moved.
    m_again.setSingleShot(true);
    m_again.setInterval(stillRetry);
    connect(&m_again, &QTimer::timeout, this, [this] {
        if (m_shown && m_pointer && !m_highlighted && !m_pendingHover)
            hover(*m_pointer);
    });

    QPointer<PickOverlay> self(this);
    m_view->onMove = [self](QPointF point) {
        if (self)
            self->hoverSoon(point);
    };
    m_view->onClick = [self](QPointF point, bool more) {
        if (self)
            self->click(point, more);
    };
    m_view->onCancel = [self] {
        if (self)
            self->cancel();
    };
    m_view->onKey = [self](QKeyEvent* event) { return self && self->onKey && self->onKey(event); };
}

PickOverlay::PickOverlay(platform::Accessibility& accessibility, platform::WindowSystem& windows,
                         SimulatorWindow sim, QObject* parent)
    : PickOverlay(TargetScreens::live(accessibility, sim), windows, sim, parent) {}

PickOverlay::~PickOverlay() {
    close();
}

void PickOverlay::show() {
    if (m_shown)
        return;
    m_shown = true;
    // The state comes first, so that the first frame shown is already the right one.
    hover(m_windows.pointer().value_or(QPointF(QCursor::pos())));
    if (m_window->takesPointer()) {
        m_window->show();
        m_windows.showOverlay(*m_window->windowHandle());
    } else {
        reshape();
        QPointer<PickOverlay> self(this);
        platform::PointerEvents events;
        events.moved = [self](QPointF at) {
            if (self)
                self->m_view->pointerMoved(at);
        };
        events.leftPressed = [self](QPointF at, Qt::KeyboardModifiers held) {
            if (self)
                self->m_view->leftPressed(at, held & Qt::ShiftModifier);
        };
        events.rightPressed = [self] {
            if (self)
                self->m_view->rightPressed();
        };
        m_shield = m_windows.shieldPointer(m_sim.frame, std::move(events));
    }
    m_view->setFocus();

    QPointer<PickOverlay> self(this);
    m_monitor = m_windows.watchEscape([self] {
        // Not from inside the watch: cancelling ends the watch that is calling.
        QTimer::singleShot(0, self, [self] {
            if (self && self->m_shown)
                self->cancel();
        });
    });
}

void PickOverlay::close() {
    m_monitor.reset();
    m_shield.reset();
    m_shown = false;
    m_pendingHover.reset();
    if (m_window)
        m_window->hide();
}

void PickOverlay::follow(const SimulatorWindow& sim) {
    if (sim.frame == m_sim.frame)
        return;
    m_sim = sim;
    m_screen = m_target.screenIn(m_sim);
    m_window->setGeometry(m_sim.frame.toRect());
    m_view->origin = m_sim.frame.topLeft();
    if (m_shield)
        m_shield->setArea(m_sim.frame);
    m_view->update();
}

void PickOverlay::hoverSoon(const QPointF& point) {
    const bool scheduled = m_pendingHover.has_value();
    m_pendingHover = point;
    if (scheduled)
        return;
    QTimer::singleShot(0, this, [this] {
        // A window shown or reshaped under a still pointer tells of it as if it moved: the
        // highlight the keyboard put somewhere stays until the pointer really moves.
        if (const auto point = std::exchange(m_pendingHover, std::nullopt);
            point && m_shown && point != m_pointer)
            hover(*point);
    });
}

PickResult PickOverlay::elementAt(const QPointF& point) {
    PickResult found = m_target.elements->element(point, m_sim, m_screen);
    found.window.still = m_target.still;
    return found;
}

std::vector<PickResult> PickOverlay::elements(const SimulatorWindow& sim) {
    std::vector<PickResult> found = m_target.elements->elements(sim, m_screen);
    for (PickResult& element : found)
        element.window.still = m_target.still;
    return found;
}

void PickOverlay::setElements(std::shared_ptr<ElementSource> elements) {
    if (!elements)
        return;
    m_target.elements = std::move(elements);
    if (m_pointer && m_shown)
        hover(*m_pointer);
}

void PickOverlay::hover(const QPointF& point) {
    m_pointer = point;
    highlight(elementAt(point));
    if (!m_highlighted && m_target.source == TargetScreen::Source::Window)
        m_again.start();
    else
        m_again.stop();
}

void PickOverlay::highlight(const PickResult& element) {
    const PickDrawing::Highlight drawn = PickDrawing::highlight(element, m_screen);
    m_highlighted = drawn.rect ? std::optional(element) : std::nullopt;
    m_view->screen = m_screen;
    m_view->highlight = drawn.rect;
    m_view->label = drawn.label;
    m_view->mono = drawn.mono;
    m_view->update();
    reshape();
    // Named as its tag shows it.
    std::optional<QString> name =
        drawn.rect && drawn.label ? std::optional(PickDrawing::tagText(*drawn.label)) : std::nullopt;
    if (name != m_highlightName) {
        m_highlightName = std::move(name);
        if (onHighlight)
            onHighlight(m_highlightName);
    }
}

void PickOverlay::setPins(std::vector<PickDrawing::Pin> pins) {
    m_view->pins = std::move(pins);
    m_view->update();
    reshape();
}

void PickOverlay::click(const QPointF& point, bool more) {
    // Whatever movement is still waiting is older than the click.
    m_pendingHover.reset();
    if (!Geometry::contains(m_screen, point) || !onPick)
        return;
    onPick(elementAt(point), more);
}

void PickOverlay::cancel() {
    if (onCancel)
        onCancel();
}

void PickOverlay::reshape() {
    if (!m_shown || m_window->takesPointer())
        return;
    const QRegion region = m_view->opaqueRegion();
    if (region.isEmpty()) {
        m_window->hide();
        return;
    }
    m_window->setMask(region);
    if (!m_window->isVisible()) {
        m_window->show();
        m_windows.showOverlay(*m_window->windowHandle());
    }
}
