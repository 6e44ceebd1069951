#include "platform/unix/ParentDeath.h"

// macOS has no parent-death signal; the quit path ends every child the app still owns.
void requestParentDeathSignal(int, pid_t) {}
