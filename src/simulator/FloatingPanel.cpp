#include "simulator/FloatingPanel.h"

#include <QEvent>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

FloatingPanel::FloatingPanel(bool translucent)
    // A normal window rather than a tool window: window managers keep tool windows above every window
    // of their application, and the panel belongs directly above the Simulator's.
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setWindowTitle(QStringLiteral("Simulator Panel"));
    setAccessibleName(QStringLiteral("Tallyrig Simulator Panel"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    resize(initialSize);
    winId();
    windowHandle()->installEventFilter(this);
}

void FloatingPanel::setContent(QWidget* content) {
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content)
        layout()->addWidget(content);
    // The content's size now, so that the panel is placed and first shown at it.
    layout()->activate();
}

bool FloatingPanel::acceptsFocus() const {
    return !(windowHandle()->flags() & Qt::WindowDoesNotAcceptFocus);
}

void FloatingPanel::setAcceptsFocus(bool accepts) {
    // On the native window only: changing the widget's own flags would recreate and hide it.
    if (acceptsFocus() != accepts)
        windowHandle()->setFlag(Qt::WindowDoesNotAcceptFocus, !accepts);
}

void FloatingPanel::becomeKey() {
    setAcceptsFocus(true);
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

bool FloatingPanel::typesAt(const QPoint& position) const {
    for (QWidget* widget = childAt(position); widget && widget != this; widget = widget->parentWidget()) {
        if (widget->isEnabled() && widget->testAttribute(Qt::WA_InputMethodEnabled))
            return true;
    }
    return false;
}

bool FloatingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::MouseButtonPress &&
        typesAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
        becomeKey();
    return QWidget::eventFilter(watched, event);
}

void FloatingPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

void FloatingPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Once the keyboard has gone elsewhere, clicks on buttons leave it there again.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        setAcceptsFocus(false);
}
