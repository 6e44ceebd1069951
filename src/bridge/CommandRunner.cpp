#include "bridge/CommandRunner.h"

#include "platform/ChildProcess.h"
#include "platform/ChildProcesses.h"

#include <QTimer>

using namespace std::chrono_literals;

QCoro::Task<CommandRunner::Result> CommandRunner::run(QString executable, QStringList arguments,
                                                      QString folder, QProcessEnvironment environment,
                                                      std::shared_ptr<Handle> handle) {
    auto* process = new QProcess;
    m_children.track(*process);
    process->setProgram(executable);
    process->setArguments(arguments);
    process->setWorkingDirectory(folder);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    m_children.prepare(*process, {platform::ChildProcesses::Signal::Kill, false});
    if (handle)
        handle->m_process = process;
    process->start(QIODevice::ReadOnly);
    // The runner may be gone when the program ends; nothing below touches it.
    co_await ChildProcess::ended(process, -1ms);

    Result result;
    if (process->error() == QProcess::FailedToStart) {
        result.output = process->errorString();
    } else {
        result.status = process->exitCode();
        result.output = QString::fromUtf8(process->readAll());
    }
    ChildProcess::dispose(process);
    co_return result;
}

void CommandRunner::Handle::end(std::chrono::milliseconds grace) {
    QProcess* process = m_process;
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    // The timer goes with the process, so it never fires for one that has ended and been disposed.
    QTimer::singleShot(grace, process, [process] {
        if (process->state() != QProcess::NotRunning)
            process->kill();
    });
}
