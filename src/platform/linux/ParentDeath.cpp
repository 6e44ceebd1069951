#include "platform/unix/ParentDeath.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

void requestParentDeathSignal(int signal, pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, signal);
    if (::getppid() != parent) // the app died before the request took effect
        ::raise(signal);
}
