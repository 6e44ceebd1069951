#pragma once

#include <QString>

#include <optional>

namespace platform {

struct RunningApplication {
    std::optional<QString> bundleIdentifier;
    bool hidden = false;
};

class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    // None for a process that is not an application.
    virtual std::optional<RunningApplication> application(qint32 pid) = 0;
};

} // namespace platform
