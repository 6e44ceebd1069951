#pragma once

#include <sys/types.h>

// Asks the system to send `signal` to the calling process when `parent` dies. Runs in a child
// between fork and exec, so it makes async-signal-safe calls only. Linux has the parent-death
// signal; elsewhere it does nothing.
void requestParentDeathSignal(int signal, pid_t parent);
