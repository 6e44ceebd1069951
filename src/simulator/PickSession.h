#pragma once

#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "simulator/PickResult.h"
#include "simulator/SimulatorWindow.h"
#include "simulator/TargetScreen.h"

#include <QObject>
#include <QPointer>

#include <optional>
#include <vector>

class FloatingPanel;
class PickOverlay;
class QKeyEvent;

// One round of targeting over the Simulator's device window. It brings the Simulator forward, lays
// the pick overlay over its window and holds the keyboard (through the panel), so that the
// targeting keys never reach the simulated app:
//
//   click, Return                  the element under the mouse or the highlight is the last pin
//   Shift-click, Shift-Return      one more pin, and targeting goes on (up to the most a report holds)
//   arrows, Tab, Shift-Tab         the highlight moves through the screen's elements in reading order
//   Escape, right click            cancel
//
// It ends with the pins (finished) or without them (cancelled). Whoever started it ends it then,
// and drops it with deleteLater(): the session may be the caller.
class PickSession : public QObject {
    Q_OBJECT
public:
    // The ports outlive the session. `target`: how this round sees the window's screen.
    PickSession(platform::TargetingPorts ports, platform::WindowSystem& windows,
                const SimulatorWindow& window, TargetScreen target, QObject* parent = nullptr);
    ~PickSession() override;

    // Brings the Simulator forward, shows the overlay over its window and, when a panel is given,
    // has it take the keyboard for the session's keys.
    void start(FloatingPanel* panel);
    // Hides the overlay and lets the panel's keys be; `giveBack`: the keyboard goes back to the
    // Simulator, when the panel still holds it. The session is not started again.
    void end(bool giveBack);
    // Moves along with a newer look at the same window.
    void follow(const SimulatorWindow& window);
    // A key pressed while targeting, whichever window has it; true when it was the session's.
    bool key(QKeyEvent* event);

    PickOverlay* overlay() const { return m_overlay; }
    const std::vector<PickResult>& pins() const { return m_pins; }

signals:
    // Targeting ended with these pins, one at least.
    void finished(const std::vector<PickResult>& pins);
    void cancelled();
    // The name of the element the highlight is on, as its tag shows it; none when it is on nothing.
    void highlightChanged(const std::optional<QString>& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // An element picked: pinned (`more`) or the last pin.
    void pick(const PickResult& element, bool more);
    // The highlight one step along the screen's elements, forwards or backwards.
    void step(bool forwards);
    void showPins();
    void bringSimulatorForward();
    // Whether the Simulator's window is the frontmost normal window.
    bool simulatorInFront() const;

    platform::TargetingPorts m_ports;
    platform::WindowSystem& m_windows;
    SimulatorWindow m_window;
    PickOverlay* m_overlay;
    QPointer<FloatingPanel> m_panel;
    std::vector<PickResult> m_pins;
    // The screen's elements, read when the keyboard first moves the highlight; and where it is.
    std::optional<std::vector<PickResult>> m_elements;
    std::optional<std::size_t> m_at;
    bool m_ended = false;
    // The panel had the keyboard, and lost it to another window since.
    bool m_keyboardHeld = false;
    bool m_keyboardTaken = false;
    bool m_keyboardRetaken = false;
};
