#pragma once

#include "panel/Payload.h"

#include <QByteArray>
#include <QImage>

// A report's pictures: the device's screenshot and, beside it, the same picture with each pin's
// element outlined and numbered, drawn at the device's own scale so that a vision model reads it.
namespace Annotation {

// How tall the composer's and the progress view's thumbnails are drawn from, in pixels.
inline constexpr int thumbnailHeight = 360;

// The screenshot with pins drawn on it, numbered from 1: their places in device points, on a device
// screen `deviceSize` points large.
QImage draw(const QImage& screenshot, const std::vector<DevicePlacement>& pins, const QSizeF& deviceSize);

// Everything a draft's pictures come to, made at once away from the UI thread.
struct Rendered {
    ReportPictures pictures;
    // The annotated PNG; empty when the screenshot could not be decoded, and the report then
    // carries the screenshot alone.
    QByteArray annotatedPng;
    QImage thumbnail;
};
// The pictures of a screenshot and its pins. Touches nothing but its arguments, so it may run on
// any thread.
Rendered render(const QByteArray& png, const std::vector<DevicePlacement>& pins, const QSizeF& deviceSize);

// A thumbnail of PNG bytes (a null image when they are not one), made the same way.
QImage thumbnail(const QByteArray& png);

} // namespace Annotation
