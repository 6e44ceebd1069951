// Draws an SVG icon as a square PNG of each size asked for, with the toolkit's own SVG renderer.
// Arguments: the SVG file, the output folder, then the sizes; writes <folder>/<size>.png.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s icon.svg folder size...\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer{QString::fromLocal8Bit(argv[1])};
    if (!renderer.isValid()) {
        std::fprintf(stderr, "%s is not an SVG image\n", argv[1]);
        return 1;
    }
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        if (size <= 0)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        if (!image.save(folder.filePath(QStringLiteral("%1.png").arg(size)), "PNG"))
            return 1;
    }
    return 0;
}
