#include "platform/Platform.h"

Platform Platform::create() {
    Platform platform;
    platform.updater = Updater::create();
    platform.childProcesses = ChildProcesses::create();
    platform.terminationSignals = TerminationSignals::create();
    return platform;
}
