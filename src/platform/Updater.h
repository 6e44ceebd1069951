#pragma once

#include <memory>

class QWidget;

namespace platform {

// The software-update component: created and started once at launch; the menu asks it for a
// user-initiated check.
class Updater {
public:
    virtual ~Updater() = default;
    virtual void start() = 0;
    // `window` is where any answer of the check is shown; may be null.
    virtual void checkForUpdates(QWidget* window) = 0;
};

std::unique_ptr<Updater> createUpdater();

} // namespace platform
