#pragma once

#include "platform/Accessibility.h"
#include "platform/RunningApplications.h"
#include "platform/WindowList.h"

#include <QStringList>

#include <memory>

namespace platform {

// The three desktop services through which the targeting code finds the Simulator and reads it.
struct TargetingPorts {
    WindowList& windows;
    RunningApplications& applications;
    Accessibility& accessibility;
};

// The desktop's own implementations of the targeting ports, owned together.
struct Targeting {
    std::unique_ptr<WindowList> windows;
    std::unique_ptr<RunningApplications> applications;
    std::unique_ptr<Accessibility> accessibility;
    // What keeps the ports from seeing other applications (no display, no window manager…), in
    // words for a developer; empty when nothing is missing. Read when the ports were created.
    QStringList problems;

    TargetingPorts ports() const { return {*windows, *applications, *accessibility}; }
};

// On a desktop the ports cannot reach, they answer "nothing found". Null where the platform has no
// adapters yet.
std::unique_ptr<Targeting> createTargeting();

} // namespace platform
