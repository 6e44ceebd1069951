#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

// A real PNG of the given pixel size, one colour.
inline QByteArray testPng(int width, int height, Qt::GlobalColor colour = Qt::white) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
