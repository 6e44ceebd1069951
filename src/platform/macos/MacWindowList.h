#pragma once

#include "platform/WindowList.h"

namespace platform::macos {

// The window server's list of windows on screen. Its bounds are already top-left global points.
class MacWindowList final : public WindowList {
public:
    std::optional<std::vector<WindowEntry>> onScreenWindows() override;
    // Present only where the user lets this application record the screen.
    std::optional<QString> title(quint32 number) override;
};

} // namespace platform::macos
