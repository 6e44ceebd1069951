#include "panel/VisualEffect.h"

#include "foundation/Style.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace {

// How much of the panel colour covers what lies behind a translucent panel.
qreal plateOpacity(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128 ? 0.90 : 0.88;
}

QPainterPath outline(const QRectF& box) {
    QPainterPath path;
    path.addRoundedRect(box, VisualEffect::radius, VisualEffect::radius);
    return path;
}

} // namespace

VisualEffect::VisualEffect(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool VisualEffect::translucentNow() const {
    if (m_chosen)
        return *m_chosen;
    return window()->testAttribute(Qt::WA_TranslucentBackground) && (!m_compositing || m_compositing());
}

void VisualEffect::setTranslucent(bool translucent) {
    m_chosen = translucent;
    apply(translucent);
}

void VisualEffect::apply(bool translucent) {
    if (m_translucent == translucent)
        return;
    m_translucent = translucent;
    shapeWindow();
    update();
}

void VisualEffect::setShapesWindow(bool shapes) {
    m_shapesWindow = shapes;
    shapeWindow();
}

void VisualEffect::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    apply(translucentNow());
}

void VisualEffect::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    shapeWindow();
}

void VisualEffect::shapeWindow() {
    if (!m_shapesWindow)
        return;
    QWidget* top = window();
    if (m_translucent && top->testAttribute(Qt::WA_TranslucentBackground)) {
        top->clearMask();
        return;
    }
    // The window's own edge is not smoothed, so the mask stays half a point inside the outline.
    const QPainterPath path = outline(QRectF(mapTo(top, QPoint(0, 0)), size()));
    top->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void VisualEffect::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    QColor plate = palette().color(QPalette::Window);
    if (m_translucent)
        plate.setAlphaF(plateOpacity(palette()));
    // A small repaint away from the rounded corners and the outline (a spinner's frame, a
    // ticking number) needs no path.
    const int inset = int(radius);
    const QRect across = rect().adjusted(1, inset, -1, -inset);
    const QRect down = rect().adjusted(inset, 1, -inset, -1);
    if (across.contains(event->rect()) || down.contains(event->rect())) {
        painter.fillRect(event->rect(), plate);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath path = outline(box);
    painter.fillPath(path, plate);
    painter.setPen(QPen(Style::color(Style::Tone::Separator, palette(), 0.6), 1));
    painter.drawPath(path);
}
