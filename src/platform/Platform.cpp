#include "platform/Platform.h"

#include "platform/ProcessSimulatorTool.h"

namespace platform {

Platform createPlatform() {
    Platform ports;
    ports.updater = createUpdater();
    ports.childProcesses = createChildProcesses();
    ports.terminationSignals = createTerminationSignals();
    ports.simulatorTool = std::make_unique<ProcessSimulatorTool>(*ports.childProcesses);
    ports.targeting = createTargeting();
    ports.windowSystem = createWindowSystem();
    return ports;
}

} // namespace platform
