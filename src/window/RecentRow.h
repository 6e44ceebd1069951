#pragma once

#include <QAbstractButton>

// A recent project: its folder name over its "~"-shortened parent path.
class RecentRow : public QAbstractButton {
    Q_OBJECT
public:
    explicit RecentRow(const QString& folder, QWidget* parent = nullptr);
    QString folder() const { return m_folder; }
    QSize sizeHint() const override;

    // The parent folder's path with the home folder written as "~".
    static QString parentText(const QString& folder);

signals:
    void removeRequested(const QString& folder);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString m_folder;
    bool m_hovered = false;
    bool m_keyboardFocus = false;
};
