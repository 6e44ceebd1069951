#pragma once

#include "platform/WindowList.h"

namespace platform::macos {

// The window server's list of windows on screen. Its bounds are already top-left global points.
class MacWindowList final : public WindowList {
public:
    std::optional<std::vector<WindowEntry>> onScreenWindows() override;
};

} // namespace platform::macos
