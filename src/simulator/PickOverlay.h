#pragma once

#include "platform/Accessibility.h"
#include "platform/WindowSystem.h"
#include "simulator/PickDrawing.h"
#include "simulator/PickResult.h"
#include "simulator/SimulatorWindow.h"
#include "simulator/TargetScreen.h"

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Draws the device screen's tint, the pins picked so far and the element under the mouse with its
// tag, and turns the pointer's movements and clicks into points in top-left global coordinates.
class PickView : public QWidget {
    Q_OBJECT
public:
    explicit PickView(QWidget* parent = nullptr);

    std::function<void(QPointF)> onMove;
    // `more`: Shift was held, the click pins an element and targeting goes on.
    std::function<void(QPointF, bool more)> onClick;
    std::function<void()> onCancel;
    // Any key pressed here first; true when it was taken.
    std::function<bool(QKeyEvent*)> onKey;

    // Top-left corner of the Simulator window; the view draws a global point p at p − origin.
    QPointF origin;
    std::optional<QRectF> screen;
    std::optional<QRectF> highlight;
    std::optional<QString> label;
    bool mono = false;
    // Top-left global coordinates, numbered.
    std::vector<PickDrawing::Pin> pins;
    // False where nothing blends with what lies behind (no compositing manager): the tint and the
    // fill are left out and edges stay hard, so every drawn pixel is opaque.
    bool translucent = true;
    // Targeting on a canvas: the device's picture, drawn on `screen` over an opaque backdrop.
    QImage canvas;

    // What the pointer did, at a point in top-left global coordinates.
    void pointerMoved(const QPointF& at);
    void leftPressed(const QPointF& at, bool more);
    void rightPressed();

    // Where the outline and the tag are, in view coordinates: the window's shape where nothing blends.
    QRegion opaqueRegion() const;

    static QFont tagFont(bool mono);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    struct Tag {
        QRectF rect;
        QString text;
        QFont font;
    };
    std::optional<QRectF> drawnHighlight() const;
    std::optional<Tag> tag(const QRectF& h) const;
    void paintCanvas(QPainter& painter);

    // The canvas scaled to the screen it was last drawn on.
    QPixmap m_scaledCanvas;
    qint64 m_scaledFrom = 0;
};

// The borderless window laid over the Simulator window: always in front, never activated when
// shown, transparent where the view draws nothing.
class OverlayPanel : public QWidget {
    Q_OBJECT
public:
    // `translucent`: whether the window blends with what lies behind it. Without that, it takes no
    // pointer input and its shape is limited to what the view draws. `opaque`: it covers the window
    // below with a picture of its own (a canvas), and takes the pointer everywhere.
    OverlayPanel(PickView* view, bool translucent, bool opaque = false);

    PickView* view() const { return m_view; }
    bool isTranslucent() const { return m_translucent; }
    bool isOpaque() const { return m_opaque; }
    // Whether the window takes the pointer itself, without a shield.
    bool takesPointer() const { return m_translucent || m_opaque; }

private:
    PickView* m_view;
    bool m_translucent;
    bool m_opaque;
};

// Targeting mode over one Simulator window: the overlay window, its view, the Escape watch and,
// without a compositing manager, the pointer shield that catches clicks where nothing is drawn.
class PickOverlay : public QObject {
    Q_OBJECT
public:
    // The port outlives the overlay. The window is built hidden.
    PickOverlay(TargetScreen target, platform::WindowSystem& windows, SimulatorWindow sim,
                QObject* parent = nullptr);
    // Over the window's own tree, on the screen it shows (or the whole window).
    PickOverlay(platform::Accessibility& accessibility, platform::WindowSystem& windows, SimulatorWindow sim,
                QObject* parent = nullptr);
    ~PickOverlay() override;

    // A click inside the device screen, with Shift (`more`) or without.
    std::function<void(const PickResult&, bool more)> onPick;
    std::function<void()> onCancel;
    // A key pressed while the overlay has the keyboard; true when it was taken. Escape cancels
    // when nobody takes it.
    std::function<bool(QKeyEvent*)> onKey;

    // In front of every window without activating it, the Escape watch on, and the state at the
    // current pointer position drawn.
    void show();
    // Ends the watch and hides the window; an overlay is not shown again.
    void close();
    // Moves along with a newer look at the same window; nothing when its frame is unchanged.
    void follow(const SimulatorWindow& sim);
    // Shows the element at a point, top-left global coordinates.
    void hover(const QPointF& point);
    // The same, once the events waiting now are handled: a burst of movements costs one hit test,
    // at the last point.
    void hoverSoon(const QPointF& point);
    // Shows an element found otherwise (the keyboard's way through the screen) as the one under
    // the mouse would be.
    void highlight(const PickResult& element);
    // What the highlight is on now; none while it is on nothing.
    const std::optional<PickResult>& highlighted() const { return m_highlighted; }
    // The pins to draw, top-left global coordinates.
    void setPins(std::vector<PickDrawing::Pin> pins);
    // Called whenever the tag's text changes, with none when the highlight goes.
    std::function<void(const std::optional<QString>&)> onHighlight;

    OverlayPanel* window() const { return m_window.get(); }
    PickView* view() const { return m_view; }
    const SimulatorWindow& sim() const { return m_sim; }
    QRectF screen() const { return m_screen; }
    const TargetScreen& target() const { return m_target; }
    // The screen's elements in reading order, for the keyboard's way through them.
    std::vector<PickResult> elements(const SimulatorWindow& sim);
    // Where elements come from from now on (a newer snapshot of the same screen).
    void setElements(std::shared_ptr<ElementSource> elements);
    bool isShown() const { return m_shown; }
    bool isWatchingEscape() const { return m_monitor != nullptr; }
    bool hasPointerShield() const { return m_shield != nullptr; }

private:
    void click(const QPointF& point, bool more);
    void cancel();
    // Without compositing the window shows only what is drawn, and is not mapped while that is nothing.
    void reshape();

    // What the element source says at a point, the picks carrying the canvas they were made on.
    PickResult elementAt(const QPointF& point);

    TargetScreen m_target;
    platform::WindowSystem& m_windows;
    SimulatorWindow m_sim;
    QRectF m_screen;
    PickView* m_view;
    std::unique_ptr<OverlayPanel> m_window;
    std::unique_ptr<platform::Watch> m_monitor;
    std::unique_ptr<platform::PointerShield> m_shield;
    bool m_shown = false;
    std::optional<QPointF> m_pendingHover;
    // Where the pointer was last shown for.
    std::optional<QPointF> m_pointer;
    std::optional<PickResult> m_highlighted;
    std::optional<QString> m_highlightName;
    // Asks a live tree again under a still pointer that found nothing.
    QTimer m_again;
};
