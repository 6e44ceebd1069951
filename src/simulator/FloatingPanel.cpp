#include "simulator/FloatingPanel.h"

#include <QEvent>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

FloatingPanel::FloatingPanel(platform::WindowSystem& windows, bool translucent)
    // A normal window rather than a tool window: window managers keep tool windows above every window
    // of their application, and the panel belongs directly above the Simulator's.
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_windows(windows) {
    setWindowTitle(QStringLiteral("Simulator Panel"));
    setAccessibleName(QStringLiteral("Tallyrig Simulator Panel"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    resize(initialSize);
}

void FloatingPanel::setVisible(bool visible) {
    // The native window comes with the first show, where the panel has been placed: one made earlier
    // at the origin can be sent back there by the toolkit when the content later changes size.
    if (visible && !m_native) {
        m_native = true;
        winId();
        m_windows.setAcceptsFocus(*windowHandle(), false);
        windowHandle()->installEventFilter(this);
    }
    if (!visible)
        m_exposed = false;
    QWidget::setVisible(visible);
}

bool FloatingPanel::isHiddenByOthers() const {
    if (!isVisible() || !windowHandle())
        return false;
    // Only a window that was on screen since it was shown counts as taken off it: until the
    // window manager first maps it, it is merely on its way.
    return (windowHandle()->windowStates() & Qt::WindowMinimized) ||
           (m_exposed && !windowHandle()->isExposed());
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

void FloatingPanel::setAcceptsFocus(bool accepts) {
    // Through the window system alone: the toolkit's own flag would rewrite the window's every hint,
    // and window managers redecorate a window whose hints change.
    if (m_acceptsFocus == accepts)
        return;
    m_acceptsFocus = accepts;
    winId();
    m_windows.setAcceptsFocus(*windowHandle(), accepts);
}

void FloatingPanel::becomeKey() {
    setAcceptsFocus(true);
    if (isVisible())
        m_windows.activate(*windowHandle());
}

bool FloatingPanel::typesAt(const QPoint& position) const {
    for (QWidget* widget = childAt(position); widget && widget != this; widget = widget->parentWidget()) {
        if (widget->isEnabled() && widget->testAttribute(Qt::WA_InputMethodEnabled))
            return true;
    }
    return false;
}

bool FloatingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        m_exposed = true;
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
