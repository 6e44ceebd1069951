#pragma once

#include "platform/ChildProcesses.h"

// The platform's real child-process control: tests run real child processes.
inline ChildProcesses& childProcesses() {
    static const auto control = ChildProcesses::create();
    return *control;
}
