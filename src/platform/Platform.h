#pragma once

#include "platform/ChildProcesses.h"
#include "platform/Targeting.h"
#include "platform/TerminationSignals.h"
#include "platform/Updater.h"
#include "platform/WindowSystem.h"

#include <memory>

// Every port to what only the operating system offers, made once by the application and handed to
// the parts that use them. Each port has its interface in this folder, one implementation per
// platform (unix/ for what Linux and macOS share, linux/, macos/; CMake picks them) and, where tests
// need one, a fake in tests/support.
struct Platform {
    std::unique_ptr<Updater> updater;
    std::unique_ptr<ChildProcesses> childProcesses;
    std::unique_ptr<TerminationSignals> terminationSignals;
    // Finding and reading the Simulator, and the window system's part of targeting. Null where the
    // platform has no implementation yet.
    std::unique_ptr<platform::Targeting> targeting;
    std::unique_ptr<platform::WindowSystem> windowSystem;

    // This platform's implementation of every port.
    static Platform create();
};
