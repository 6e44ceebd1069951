#pragma once

#include "platform/ChildProcesses.h"
#include "platform/SimulatorTool.h"
#include "platform/Targeting.h"
#include "platform/TerminationSignals.h"
#include "platform/Updater.h"
#include "platform/WindowSystem.h"

#include <memory>

namespace platform {

// Every port to what only the operating system offers, made once by the application and handed to
// the parts that use them. Each port is an interface in this folder with a free create function
// (`createChildProcesses()`, `createTargeting()`…) defined once per platform: unix/ for what Linux
// and macOS share, linux/ and macos/ for the rest; CMake picks the files. Fakes live in
// tests/support.
struct Platform {
    std::unique_ptr<Updater> updater;
    std::unique_ptr<ChildProcesses> childProcesses;
    std::unique_ptr<TerminationSignals> terminationSignals;
    // Runs `xcrun`; its children are tracked by childProcesses, so it goes first.
    std::unique_ptr<SimulatorTool> simulatorTool;
    // Runs AXe, which reads a simulator's own elements where its window shows none.
    std::unique_ptr<SimulatorTool> elementTool;
    // Finding and reading the Simulator, and the window system's part of targeting. Null where the
    // platform has no implementation yet (macOS, until its adapters come).
    std::unique_ptr<Targeting> targeting;
    std::unique_ptr<WindowSystem> windowSystem;
};

// Whether createPlatform() makes the desktop's ports (targeting and the window system) at once. They
// open a connection to the display server and ask the session bus, so an app that wants its first
// window and its first request out quickly leaves them for addDesktopPorts().
enum class DesktopPorts { Now, Later };

// This platform's implementation of every port.
Platform createPlatform(DesktopPorts desktop = DesktopPorts::Now);

// Makes the desktop's ports that `ports` does not have yet (none where the platform has none).
void addDesktopPorts(Platform& ports);

} // namespace platform
