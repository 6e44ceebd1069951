#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace platform {
class ChildProcesses;
}

// The environment every bridge command gets: the app's own, PATH from the user's login shell
// (asked once per instance) widened by the usual tool folders, and TALLYRIG_APP=1.
class LaunchEnvironment : public QObject {
    Q_OBJECT
public:
    struct Timings {
        std::chrono::milliseconds loginShellWatch{4000};
        // How long a login shell may ignore the terminate request before it is killed.
        std::chrono::milliseconds loginShellKillGrace{1000};
    };

    LaunchEnvironment(platform::ChildProcesses& children, Timings timings, QObject* parent = nullptr);

    QCoro::Task<QProcessEnvironment> environment();
    // The login shell's search path followed by the tool folders, without empties or repeats. Never
    // fails: without a usable shell it is the tool folders alone.
    QCoro::Task<QString> loginPath();
    std::optional<QString> cachedPath() const { return m_cachedPath; }

private:
    platform::ChildProcesses& m_children;
    Timings m_timings;
    std::optional<QString> m_cachedPath;
};
