#include "panel/Annotation.h"

#include "simulator/PickDrawing.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

namespace Annotation {

namespace {

QImage decode(const QByteArray& png) {
    QBuffer buffer;
    buffer.setData(png);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer, "png");
    reader.setDecideFormatFromContent(false);
    return reader.read();
}

QByteArray encode(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    QImageWriter writer(&buffer, "png");
    // Fast rather than small: the picture goes over the loopback interface.
    writer.setQuality(70);
    if (!writer.write(image))
        return {};
    return png;
}

QImage shrunk(const QImage& image) {
    if (image.isNull() || image.height() <= thumbnailHeight)
        return image;
    return image.scaledToHeight(thumbnailHeight, Qt::SmoothTransformation);
}

} // namespace

QImage draw(const QImage& screenshot, const std::vector<DevicePlacement>& pins, const QSizeF& deviceSize) {
    QImage image = screenshot.convertToFormat(QImage::Format_RGB32);
    if (image.isNull() || deviceSize.width() <= 0)
        return image;
    // The pins' places are in device points; the picture is in the device's pixels.
    const double scale = image.width() / deviceSize.width();
    const QRectF bounds(QPointF(0, 0), QSizeF(image.size()));
    QPainter painter(&image);
    for (std::size_t i = 0; i < pins.size(); ++i) {
        const DevicePlacement& at = pins[i];
        PickDrawing::Pin pin;
        if (at.frame)
            pin.frame = QRectF(at.frame->topLeft() * scale, at.frame->size() * scale);
        pin.point = at.touch * scale;
        pin.number = int(i) + 1;
        PickDrawing::paintPin(painter, pin, scale, bounds);
    }
    return image;
}

Rendered render(const QByteArray& png, const std::vector<DevicePlacement>& pins, const QSizeF& deviceSize) {
    Rendered rendered;
    rendered.pictures.screenshot = png.toBase64();
    const QImage annotated = draw(decode(png), pins, deviceSize);
    if (annotated.isNull())
        return rendered;
    rendered.annotatedPng = encode(annotated);
    rendered.pictures.annotated = rendered.annotatedPng.toBase64();
    rendered.thumbnail = shrunk(annotated);
    return rendered;
}

QImage thumbnail(const QByteArray& png) {
    return shrunk(decode(png));
}

} // namespace Annotation
