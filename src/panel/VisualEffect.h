#pragma once

#include <QWidget>

#include <functional>
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
    // Decided each time the plate is shown, unless set here: translucent when its window was made
    // translucent (Qt::WA_TranslucentBackground, which whoever makes the window decides from the
    // window system) and, where a check is given, the desktop still composites.
    void setTranslucent(bool translucent);
    // The window system's answer, asked at every show: a compositing manager may stop at any time.
    void setCompositingCheck(std::function<bool()> compositing) { m_compositing = std::move(compositing); }

    // For a plate that covers its whole window: while opaque, the window takes the plate's rounded
    // shape, so that no square corner (or black one, on a window made translucent) shows.
    void setShapesWindow(bool shapes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void shapeWindow();
    void apply(bool translucent);
    bool translucentNow() const;

    std::optional<bool> m_chosen;
    std::function<bool()> m_compositing;
    bool m_translucent = false;
    bool m_shapesWindow = false;
};
