#pragma once

#include <QLabel>
#include <QTextDocument>

// The panel's text: clamped to a few lines, with steady digits, or with a symbol inline.
namespace PanelWidgets {

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

} // namespace PanelWidgets
