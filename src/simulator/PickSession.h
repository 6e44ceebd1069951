#pragma once

#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "simulator/PickResult.h"
#include "simulator/SimulatorWindow.h"

#include <QObject>

class FloatingPanel;
class PickOverlay;

// One round of targeting over the Simulator's device window: it brings the Simulator forward, lays
// the pick overlay over its window and ends with a pick (finished) or without one (cancelled).
// Whoever started it ends it then, and drops it with deleteLater(): the session may be the caller.
class PickSession : public QObject {
    Q_OBJECT
public:
    // The ports outlive the session.
    PickSession(platform::TargetingPorts ports, platform::WindowSystem& windows,
                const SimulatorWindow& window, QObject* parent = nullptr);
    ~PickSession() override;

    // Brings the Simulator forward and shows the overlay over its window.
    void start();
    // Hides the overlay; the session is not started again.
    void end();
    // Moves along with a newer look at the same window.
    void follow(const SimulatorWindow& window);

    PickOverlay* overlay() const { return m_overlay; }

signals:
    void finished(const PickResult& pick);
    // Escape, a right click.
    void cancelled();

private:
    platform::TargetingPorts m_ports;
    platform::WindowSystem& m_windows;
    SimulatorWindow m_window;
    PickOverlay* m_overlay;
};
