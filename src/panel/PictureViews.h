#pragma once

#include "panel/PanelButtons.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QWidget>

class QLabel;
class Spinner;

// A device picture, full size, in a window of its own: as large as the screen lets it be, never
// larger than its pixels. Escape closes it.
class PictureWindow : public QWidget {
    Q_OBJECT
public:
    // `png`: the picture; `title`: the window's title and accessible name.
    PictureWindow(const QByteArray& png, const QString& title, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A small picture of a device's screen that opens it at full size when pressed (by the pointer,
// the keyboard or an assistive technology). While the picture is on its way it shows a spinner;
// without one it shows nothing to press.
class Thumbnail : public PanelWidgets::FocusRingButton {
    Q_OBJECT
public:
    // `height` in points; the width follows the picture.
    Thumbnail(const QString& name, int height, QWidget* parent = nullptr);

    // The picture, its thumbnail, and the full-size window's title.
    void setPicture(const QByteArray& png, const QImage& thumbnail);
    // Waiting for the picture.
    void setWaiting();
    bool hasPicture() const { return !m_png.isEmpty(); }
    PictureWindow* window() const { return m_window; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void open();

    QString m_name;
    int m_height;
    QByteArray m_png;
    QImage m_thumbnail;
    Spinner* m_spinner;
    QPointer<PictureWindow> m_window;
};
