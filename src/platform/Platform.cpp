#include "platform/Platform.h"

Platform Platform::create() {
    Platform platform;
    platform.updater = Updater::create();
    platform.childProcesses = ChildProcesses::create();
    platform.terminationSignals = TerminationSignals::create();
#ifdef TALLYRIG_HAVE_TARGETING
    platform.targeting = ::platform::createTargeting();
    platform.windowSystem = ::platform::createWindowSystem();
#endif
    return platform;
}
