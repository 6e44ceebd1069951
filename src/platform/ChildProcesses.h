#pragma once

#include <QList>
#include <QPointer>
#include <QProcess>

#include <memory>

namespace platform {

// What child processes need of the operating system beyond QProcess: never outliving the app, a
// session of their own, and signals to everything they started.
class ChildProcesses {
public:
    enum class Signal { Terminate, Kill };

    struct Options {
        // What the child gets when the app dies without stopping it; none where the system offers no
        // such notice.
        Signal onAppDeath = Signal::Kill;
        // A session of its own, so an interactive shell can never take the app's terminal.
        bool ownSession = false;
    };

    virtual ~ChildProcesses() = default;

    // Call before start().
    virtual void prepare(QProcess& process, Options options) = 0;

    // Sends `signal` to a child prepared with ownSession and to what it started in its session.
    virtual void signalSession(QProcess& process, Signal signal) = 0;

    // Single-run children (set-up, login shell, the simulator tool) that the quit path must kill
    // if they still run. Forgotten once the process object is gone.
    void track(QProcess& process);
    // The quit path: kills every tracked child still running, blocking for at most a second.
    void killTracked();

private:
    QList<QPointer<QProcess>> m_tracked;
};

std::unique_ptr<ChildProcesses> createChildProcesses();

} // namespace platform
