#pragma once

#include "foundation/Style.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTextDocument>

class Spinner;

// The small controls of the Simulator panel, drawn to one look in light and dark themes.
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

// A category chip: a capsule, white on the brand colour while selected.
class Chip : public FocusRingButton {
    Q_OBJECT
public:
    explicit Chip(const QString& caption, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override {}
};

// A switch in the mini size. It never moves by itself: pressing it emits `turned` with the
// position asked for, and it shows a new position only when its owner sets it.
class MiniSwitch : public FocusRingButton {
    Q_OBJECT
public:
    explicit MiniSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {26, 15}; }

signals:
    void turned(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;
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

// Text that wraps over at most `maxLines` lines, the last one cut with an ellipsis. The whole text
// stays the label's text, for assistive technologies and tooltips.
class ClampedLabel : public QLabel {
    Q_OBJECT
public:
    ClampedLabel(int maxLines, QWidget* parent = nullptr);
    void setMaxLines(int lines);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_maxLines;
};

// Text whose digits each take the width of the widest, so that a number that counts up does not
// shift or jitter (the face's own tabular figures are out of Qt's reach before 6.6).
class TabularLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal digitWidth() const;
    qreal advance(QChar c) const;
};

// A sentence with a symbol set inline ("Press [scope] and click…"), wrapping like a label.
class SymbolText : public QLabel {
    Q_OBJECT
public:
    // The symbol stands between `before` and `after`; `spoken` is what assistive technologies read.
    SymbolText(const QString& before, const QString& symbol, const QString& after, const QString& spoken,
               QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build();

    QString m_before;
    QString m_symbol;
    QString m_after;
    mutable QTextDocument m_document;
};

// A one-point separator line across its width.
class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {1, 1}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A filled circle.
class Dot : public QWidget {
    Q_OBJECT
public:
    Dot(int diameter, Style::Tone tone, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style::Tone m_tone;
};

// The label's font in a text style, and its colour in a tone that follows the theme.
QLabel* makeLabel(const QString& text, Style::Text style, Style::Tone tone, QWidget* parent,
                  QFont::Weight weight = QFont::Normal);

// Draws a rounded keyboard-focus ring just inside `rect`.
void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette);

} // namespace PanelWidgets
