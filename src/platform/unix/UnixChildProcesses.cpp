#include "platform/ChildProcesses.h"
#include "platform/unix/ParentDeath.h"

#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace platform {

namespace {

int posixSignal(ChildProcesses::Signal signal) {
    return signal == ChildProcesses::Signal::Kill ? SIGKILL : SIGTERM;
}

class UnixChildProcesses final : public ChildProcesses {
public:
    void prepare(QProcess& process, Options options) override {
        const pid_t parent = ::getpid();
        const int signal = posixSignal(options.onAppDeath);
        const bool ownSession = options.ownSession;
        process.setChildProcessModifier([parent, signal, ownSession] {
            // Runs in the child between fork and exec: async-signal-safe calls only.
            if (ownSession)
                ::setsid();
            requestParentDeathSignal(signal, parent);
        });
    }

    void signalSession(QProcess& process, Signal signal) override {
        const qint64 pid = process.processId();
        if (pid > 1)
            ::kill(pid_t(-pid), posixSignal(signal)); // the group the child leads
        // The child itself too, in case it never got its own session.
        if (signal == Signal::Kill)
            process.kill();
        else
            process.terminate();
    }
};

} // namespace

std::unique_ptr<ChildProcesses> createChildProcesses() {
    return std::make_unique<UnixChildProcesses>();
}

} // namespace platform
