#pragma once

#include <QString>

#include <optional>

namespace platform {

// The desktop's running applications, asked about one process at a time. Each property is read on
// its own, as a platform's application object would answer it, so that asking for one costs no
// more than that one.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    // The application's identifier ("com.apple.iphonesimulator"); none for a process that is not an
    // application or has no identifier.
    virtual std::optional<QString> bundleIdentifier(qint32 pid) = 0;
    // Whether the application is hidden; false for a process that is not an application.
    virtual bool isHidden(qint32 pid) = 0;
    // The program the process runs, as a path; none when it cannot be told.
    virtual std::optional<QString> executable(qint32 pid) {
        (void)pid;
        return std::nullopt;
    }
};

} // namespace platform
