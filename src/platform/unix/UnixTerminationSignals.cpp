#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// One pair for the process: signal dispositions are process-wide too.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

class UnixTerminationSignals final : public TerminationSignals {
public:
    void quitOnRequest() override {
        if (signalPipe[0] != -1)
            return;
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
            return;
        for (int fd : signalPipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
        }
        auto* notifier =
            new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
            char buffer[16];
            while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            QCoreApplication::quit();
        });

        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
    }
};

} // namespace

std::unique_ptr<TerminationSignals> createTerminationSignals() {
    return std::make_unique<UnixTerminationSignals>();
}

} // namespace platform
