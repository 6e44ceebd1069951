#pragma once

#include <memory>

namespace platform {

// Requests from outside to end the app (SIGTERM and SIGINT on Unix), turned into an orderly
// QCoreApplication::quit() so that the quit path runs as it does for the Quit command.
class TerminationSignals {
public:
    virtual ~TerminationSignals() = default;

    // From now on, such a request quits the application on the UI thread.
    virtual void quitOnRequest() = 0;
};

std::unique_ptr<TerminationSignals> createTerminationSignals();

} // namespace platform
