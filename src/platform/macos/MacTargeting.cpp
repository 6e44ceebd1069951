#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "platform/macos/MacAccessibility.h"
#include "platform/macos/MacApplications.h"
#include "platform/macos/MacWindowList.h"

namespace platform {

std::unique_ptr<Targeting> createTargeting() {
    auto targeting = std::make_unique<Targeting>();
    targeting->windows = std::make_unique<macos::MacWindowList>();
    targeting->applications = std::make_unique<macos::MacRunningApplications>();
    targeting->accessibility = std::make_unique<macos::MacAccessibility>();
    return targeting;
}

std::unique_ptr<WindowSystem> createWindowSystem() {
    return std::make_unique<macos::MacWindowSystem>();
}

} // namespace platform
