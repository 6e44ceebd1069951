#pragma once

#include "platform/ChildProcesses.h"

// The platform's real child-process control: tests run real child processes.
inline platform::ChildProcesses& childProcesses() {
    static const auto control = platform::createChildProcesses();
    return *control;
}
