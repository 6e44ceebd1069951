#pragma once

#include "foundation/FrameFlipper.h"
#include "foundation/Style.h"

#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <optional>

// A rounded box filled with the window's background and outlined by a separator line.
class Card : public QWidget {
    Q_OBJECT
public:
    explicit Card(QWidget* parent = nullptr, int radius = 10, Style::Tone fill = Style::Tone::Primary,
                  bool outlined = true);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_radius;
    Style::Tone m_fill; // Primary means the window background
    bool m_outlined;
};

// A small indeterminate progress indicator; it only animates while shown. Where the platform can
// flip frames (an opaque window on X11), each step copies a frame drawn over what lies beneath the
// spinner instead of repainting the window there.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(int diameter = 12, QWidget* parent = nullptr);
    ~Spinner() override;
    // Installed once by the application, before the first spinner turns.
    static void setFrameFlipperFactory(FrameFlipperFactory factory);

    QSize sizeHint() const override { return {m_diameter, m_diameter}; }
    int frame() const { return m_step; }
    bool flipping() const { return m_flipper != nullptr; }
    // The spokes' colour; secondary unless set.
    void setTone(Style::Tone tone);
    // How long each of the twelve frames shows; 80 ms unless set. A spinner that stays on screen
    // for minutes turns more calmly, one turn in 1.5 s, and wakes the app less often.
    static constexpr std::chrono::milliseconds calmFrameInterval{125};
    void setFrameInterval(std::chrono::milliseconds interval) { m_timer.setInterval(interval); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void turn();
    // Shows the next frame through the flipper; false when it must be painted.
    bool flip();
    bool prepareFlipper(QWindow& window);
    QColor baseColor() const;
    void renderFrames(const QColor& base, qreal ratio);

    int m_diameter;
    int m_step = 0;
    Style::Tone m_tone = Style::Tone::Secondary;
    QTimer m_timer;
    // The twelve frames, drawn once per colour and pixel ratio: a frame is then one copy.
    QList<QPixmap> m_frames;
    QColor m_framesColor;
    qreal m_framesRatio = 0;
    std::unique_ptr<FrameFlipper> m_flipper;
    QWindow* m_flipWindow = nullptr;
    QWindow* m_cannotFlip = nullptr;    // a window whose display server keeps no frames
    QImage m_backdrop;                  // what lay beneath when the flipper's frames were made
    std::optional<QPoint> m_flipOrigin; // the spinner's place in its window at the last flip
    QPoint m_flipAt;
    QRegion m_flipVisible;
    bool m_flipStale = true; // the window painted here since: what lies beneath may have changed
    bool m_renderingBackdrop = false;
};

// A symbol at a fixed size in a tone.
class SymbolView : public QLabel {
    Q_OBJECT
public:
    SymbolView(const QString& name, Style::Tone tone, int size, QWidget* parent = nullptr);
    void setSymbol(const QString& name, Style::Tone tone);

protected:
    void changeEvent(QEvent* event) override;

private:
    void render();
    QString m_name;
    Style::Tone m_tone;
    int m_size;
};

// One line of text cut in the middle when it does not fit.
class MiddleElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit MiddleElidedLabel(const QString& text, QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;
    QString fullText() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

// Whether a focus that arrived came from the user's keyboard (Tab, Backtab, a shortcut), for the
// widgets that draw a focus ring then. Qt passes the focus on as if tabbing when the widget that
// held it leaves the screen; that focus is nobody's doing. followFocus() first, from the
// widget's constructor.
void followFocus();
bool isKeyboardFocus(const QFocusEvent* event);

// Sets a label's text colour to a tone of its palette.
void setTone(QWidget* widget, Style::Tone tone);

// A wrapping plain-text label in a text style, its colour a tone that follows the theme.
QLabel* makeLabel(const QString& text, Style::Text style, Style::Tone tone, QWidget* parent,
                  QFont::Weight weight = QFont::Normal);
