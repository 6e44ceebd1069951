#pragma once

#include "platform/WindowSystem.h"

#include <QWidget>

// The borderless window beside the Simulator window, which the controller here moves and stacks;
// what it shows is the panel's view (src/panel), which it hosts as its one content widget and takes that
// widget's preferred size whenever it changes. Showing it or clicking its buttons leaves the keyboard
// and the active window where they are; it takes the keyboard only when a control that types is
// clicked, or when asked to.
class FloatingPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize initialSize{300, 200};

    // `translucent`: whether the window may blend with what lies behind it (a compositing manager
    // runs); the content then draws its own background. The window system outlives the panel.
    FloatingPanel(platform::WindowSystem& windows, bool translucent);

    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // Takes the keyboard, as after a pick.
    void becomeKey();
    // Shown as far as the toolkit is concerned, yet iconified or unmapped by someone else.
    bool isHiddenByOthers() const;
    bool acceptsFocus() const { return m_acceptsFocus; }
    void setVisible(bool visible) override;

signals:
    void resized();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setAcceptsFocus(bool accepts);
    bool typesAt(const QPoint& position) const;

    platform::WindowSystem& m_windows;
    QWidget* m_content = nullptr;
    bool m_acceptsFocus = false;
    bool m_native = false;
    // Mapped and drawn since it was last shown.
    bool m_exposed = false;
};
