#pragma once

#include "platform/Targeting.h"
#include "simulator/AX.h"
#include "simulator/SimulatorWindow.h"

#include <QPointF>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

// A desktop window the user chose for the panel to follow instead of the Simulator. Its application
// is known again by the program it runs and its window class, so that a relaunched or reopened
// application is followed too.
struct WindowTarget {
    QString windowClass;
    std::optional<QString> executable;
    // The window followed now; none until one is found.
    std::optional<quint32> number;
    qint32 pid = 0;

    // The same application: the same class, and the same program where both are known.
    bool sameApplication(const WindowTarget& other) const;
};

namespace WindowTargets {

// The normal window under a point, front to back, that is not one of process `ours`.
std::optional<platform::WindowEntry> under(const std::vector<platform::WindowEntry>& list, const QPointF& at,
                                           qint32 ours);

// The application behind a window; none for a window of no known application.
std::optional<WindowTarget> identify(const platform::WindowEntry& entry,
                                     platform::RunningApplications& applications);

// The target in a look at the list: its own window while it is there, else the front window of the
// same application; none while neither is on screen.
std::optional<platform::WindowEntry> find(const WindowTarget& target,
                                          const std::vector<platform::WindowEntry>& list,
                                          platform::RunningApplications& applications);

// The window as targeting sees it: its application's tree (where it has one) with the window in it,
// its title and its application's name. `scale`: device pixels per logical pixel where it lies.
SimulatorWindow window(const WindowTarget& target, const platform::WindowEntry& entry,
                       const platform::TargetingPorts& ports, double scale,
                       std::chrono::milliseconds timeout = AX::messagingTimeout);

} // namespace WindowTargets
