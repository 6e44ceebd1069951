#pragma once

#include "platform/WindowSystem.h"
#include "platform/linux/XcbConnection.h"

#include <QList>

#include <functional>
#include <memory>

namespace platform::x11 {

// Presses of Escape on any keyboard, whichever application has it, through XInput 2's raw key
// events on the root window: seen, never taken.
class EscapeKeys {
public:
    explicit EscapeKeys(std::shared_ptr<XcbConnection> connection);

    // Null without XInput 2.
    std::unique_ptr<Watch> watch(std::function<void()> escape);

private:
    class KeyWatch;
    void select(bool on);
    // The key codes that type Escape without a modifier; the keyboard's layout can change.
    void refreshKeys();
    void handle(const xcb_generic_event_t& event);

    std::shared_ptr<XcbConnection> m_x;
    std::shared_ptr<void> m_listening;
    bool m_rawKeys = false;
    quint8 m_inputOpcode = 0;
    QList<quint8> m_keys;
    QList<KeyWatch*> m_watches;
};

} // namespace platform::x11
