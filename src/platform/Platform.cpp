#include "platform/Platform.h"

#include "platform/ProcessSimulatorTool.h"

namespace platform {

Platform createPlatform(DesktopPorts desktop) {
    Platform ports;
    ports.updater = createUpdater();
    ports.childProcesses = createChildProcesses();
    ports.terminationSignals = createTerminationSignals();
    ports.simulatorTool = std::make_unique<ProcessSimulatorTool>(*ports.childProcesses);
    ports.elementTool = ProcessSimulatorTool::elementTool(*ports.childProcesses);
    if (desktop == DesktopPorts::Now)
        addDesktopPorts(ports);
    return ports;
}

void addDesktopPorts(Platform& ports) {
    if (!ports.targeting)
        ports.targeting = createTargeting();
    if (!ports.windowSystem)
        ports.windowSystem = createWindowSystem();
}

} // namespace platform
