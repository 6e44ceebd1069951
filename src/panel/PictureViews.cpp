#include "panel/PictureViews.h"

#include "foundation/CommonWidgets.h"
#include "panel/PanelLook.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A phone's screen, for the space a picture takes before it arrives.
constexpr double deviceAspect = 0.46;
constexpr qreal cornerRadius = 5;

} // namespace

// ---- PictureWindow

PictureWindow::PictureWindow(const QByteArray& png, const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    setAccessibleName(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* picture = new QLabel(this);
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(title);
    const QImage image = QImage::fromData(png, "PNG");
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() * 0.9 : QSize(800, 800);
    // The picture's own pixels at most, in points as the screen shows them.
    const qreal ratio = screen ? screen->devicePixelRatio() : 1;
    QSize shown = (QSizeF(image.size()) / ratio).toSize();
    if (shown.width() > room.width() || shown.height() > room.height())
        shown.scale(room, Qt::KeepAspectRatio);
    QPixmap pixmap =
        QPixmap::fromImage(image.scaled(shown * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    picture->setPixmap(pixmap);
    layout->addWidget(picture);
    resize(shown);
}

void PictureWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- Thumbnail

Thumbnail::Thumbnail(const QString& name, int height, QWidget* parent)
    : FocusRingButton(parent), m_name(name), m_height(height), m_spinner(new Spinner(12, this)) {
    PanelWidgets::setUpButton(this);
    setAccessibleName(name);
    setAccessibleDescription(QStringLiteral("Opens the picture at full size"));
    setToolTip(m_name);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_spinner->hide();
    connect(this, &QAbstractButton::clicked, this, &Thumbnail::open);
}

void Thumbnail::setPicture(const QByteArray& png, const QImage& thumbnail) {
    m_png = png;
    m_thumbnail = thumbnail;
    m_spinner->hide();
    setEnabled(!png.isEmpty());
    updateGeometry();
    update();
}

void Thumbnail::setWaiting() {
    setPicture({}, {});
    m_spinner->show();
    m_spinner->move((sizeHint().width() - m_spinner->width()) / 2, (m_height - m_spinner->height()) / 2);
}

QSize Thumbnail::sizeHint() const {
    const double aspect =
        m_thumbnail.isNull() ? deviceAspect : double(m_thumbnail.width()) / std::max(1, m_thumbnail.height());
    return {int(std::lround(m_height * aspect)), m_height};
}

void Thumbnail::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, cornerRadius, cornerRadius);
    if (m_thumbnail.isNull()) {
        painter.fillPath(shape, Style::color(Style::Tone::Primary, palette(), 0.05));
    } else {
        painter.save();
        painter.setClipPath(shape);
        painter.drawImage(box, m_thumbnail);
        painter.restore();
    }
    painter.setPen(QPen(Style::color(Style::Tone::Primary, palette(), isDown() ? 0.3 : 0.15), 1));
    painter.drawPath(shape);
    if (showsFocusRing())
        PanelWidgets::paintFocusRing(painter, rect(), cornerRadius, palette());
}

void Thumbnail::open() {
    if (m_png.isEmpty())
        return;
    if (!m_window) {
        m_window = new PictureWindow(m_png, m_name);
        m_window->show();
    }
    m_window->raise();
    m_window->activateWindow();
}
