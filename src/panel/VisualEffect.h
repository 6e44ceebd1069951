#pragma once

#include <QWidget>

#include <optional>

// The panel's background: a rounded plate (corner radius 14) outlined inside by a one-point
// separator line at 60%. Where windows are composited the plate is translucent, so the desktop
// shows through a little; otherwise it is the opaque panel colour, since a transparent pixel of
// an uncomposited window comes out black.
class VisualEffect : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal radius = 14;

    explicit VisualEffect(QWidget* parent = nullptr);

    bool isTranslucent() const { return m_translucent; }
    // Asked of the window system each time the plate is shown, unless set here.
    void setTranslucent(bool translucent);

    // For a plate that covers its whole window: while opaque, the window takes the plate's rounded
    // shape, so that no square corner (or black one, on a window made translucent) shows. The
    // window is made translucent at creation (Qt::WA_TranslucentBackground) when
    // Compositing::available() says so.
    void setShapesWindow(bool shapes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void shapeWindow();
    void apply(bool translucent);

    std::optional<bool> m_chosen;
    bool m_translucent = false;
    bool m_shapesWindow = false;
};
