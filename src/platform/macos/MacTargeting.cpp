#include "platform/Targeting.h"
#include "platform/WindowSystem.h"

namespace platform {

// The macOS adapters (window list, accessibility, window system) are still to come; until then the
// app runs without the Simulator panel.
std::unique_ptr<Targeting> createTargeting() {
    return nullptr;
}

std::unique_ptr<WindowSystem> createWindowSystem() {
    return nullptr;
}

} // namespace platform
