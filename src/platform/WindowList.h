#pragma once

#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace platform {

// One entry of the window server's list. A member that is missing or unreadable is none, and the
// entry does not qualify where that member is needed.
struct WindowEntry {
    std::optional<qint32> ownerPid;
    std::optional<qint64> layer; // 0 is the normal window layer
    std::optional<quint32> number;
    // Top-left global coordinates, title bar included.
    std::optional<QRectF> bounds;
    // The same window without the window manager's frame, where the platform tells them apart.
    std::optional<QRectF> clientBounds;
};

class WindowList {
public:
    virtual ~WindowList() = default;
    // The windows on screen, front to back, desktop elements excluded; none when unreadable.
    virtual std::optional<std::vector<WindowEntry>> onScreenWindows() = 0;

    // A window's title, as the window server has it; none when it has none or cannot be read.
    virtual std::optional<QString> title(quint32 number) {
        (void)number;
        return std::nullopt;
    }

    // Where the platform tells of changes: from now on `changed` is called, on the UI thread and
    // never inside onScreenWindows(), whenever the list may have changed. False where it cannot
    // tell, and whoever needs the list looks again on a schedule of its own.
    virtual bool watchChanges(std::function<void()> changed) {
        (void)changed;
        return false;
    }
};

} // namespace platform
