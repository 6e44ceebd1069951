#pragma once

#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>

namespace platform {
class ChildProcesses;
}

// Runs a program once to its end, standard output and error merged into one text.
class CommandRunner {
public:
    struct Result {
        int status = -1; // the exit code, or the number of the signal that ended it
        QString output;
    };

    // Lets whoever started a run end it early; the run then returns as usual.
    class Handle {
    public:
        // SIGTERM, then SIGKILL once `grace` has passed, so that a program ignoring the request
        // cannot hold whoever waits for the run.
        void end(std::chrono::milliseconds grace);

    private:
        friend class CommandRunner;
        QPointer<QProcess> m_process;
    };

    explicit CommandRunner(platform::ChildProcesses& children) : m_children(children) {}

    // Status -1 and the launch error's text when the program cannot start. Input is the null
    // device; the environment is exactly `environment`.
    QCoro::Task<Result> run(QString executable, QStringList arguments, QString folder,
                            QProcessEnvironment environment, std::shared_ptr<Handle> handle = {});

private:
    platform::ChildProcesses& m_children;
};
