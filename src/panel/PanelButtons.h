#pragma once

#include "foundation/Style.h"

#include <QAbstractButton>

class Spinner;

// The panel's push buttons: a symbol, a text button and a link, on one focus-ring base.
//
// Buttons whose on/off state mirrors the model are checkable, so that assistive technologies
// read that state, but a press never flips them: the owner sets the state once the model has
// changed, so a control shows only what the model holds.
namespace PanelWidgets {

// A button that draws a focus ring only for a focus that came from the keyboard; a click never
// leaves a ring behind. Assistive technologies press it as a click.
class FocusRingButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FocusRingButton(QWidget* parent = nullptr);

protected:
    bool showsFocusRing() const { return m_keyboardFocus && hasFocus(); }
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_keyboardFocus = false;
};

// A plain button showing a symbol, optionally on a rounded plate.
class SymbolButton : public FocusRingButton {
    Q_OBJECT
public:
    SymbolButton(const QString& symbol, int iconSize, QSize box, QWidget* parent = nullptr);

    void setSymbol(const QString& symbol);
    // The symbol's tone, and the plate behind it (no plate when `plateOpacity` is 0).
    void setTones(Style::Tone icon, Style::Tone plate = Style::Tone::Primary, qreal plateOpacity = 0);
    void setPlateRadius(qreal radius) { m_radius = radius; }
    // The symbol's weight, regular unless set.
    void setWeight(QFont::Weight weight) { m_weight = weight; }
    // Follows the model instead of flipping itself when pressed.
    void setMirrorsState(bool mirrors);

    QSize sizeHint() const override { return m_box; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;

private:
    QString m_symbol;
    int m_iconSize;
    QSize m_box;
    Style::Tone m_icon = Style::Tone::Secondary;
    Style::Tone m_plate = Style::Tone::Primary;
    qreal m_plateOpacity = 0;
    qreal m_radius = 6;
    QFont::Weight m_weight = QFont::Normal;
    bool m_mirrors = false;
};

// A text button: `Prominent` is filled with the brand colour, `Standard` sits on a faint plate.
class PanelButton : public FocusRingButton {
    Q_OBJECT
public:
    enum class Kind { Prominent, Standard };
    enum class Size { Small, Regular };

    PanelButton(const QString& text, Kind kind, Size size, QWidget* parent = nullptr);

    void setKind(Kind kind);
    Kind kind() const { return m_kind; }
    // The text's tone on a standard button (red for a destructive one).
    void setTextTone(Style::Tone tone);
    // Shows a spinner in place of the text, keeping the button's size.
    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }
    void setMirrorsState(bool mirrors) { m_mirrors = mirrors; }
    // The text is set in a monospaced face.
    void setMonospaced(bool monospaced);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeSpinner();
    void toneSpinner();

    Kind m_kind;
    Size m_size;
    Style::Tone m_textTone = Style::Tone::Primary;
    bool m_busy = false;
    bool m_mirrors = false;
    Spinner* m_spinner = nullptr;
};

// A link-style button: a symbol and a caption in the brand colour, underlined on hover.
class LinkButton : public FocusRingButton {
    Q_OBJECT
public:
    LinkButton(const QString& symbol, const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
};

// Draws a rounded keyboard-focus ring just inside `rect`.
void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette);

} // namespace PanelWidgets
