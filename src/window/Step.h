#pragma once

#include <QWidget>

// A numbered step: a badge, a title and its content.
class Step : public QWidget {
    Q_OBJECT
public:
    Step(int number, const QString& title, QWidget* content, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_number;
    QWidget* m_badgeSpace;
};
