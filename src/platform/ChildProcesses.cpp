#include "platform/ChildProcesses.h"

#include <QDeadlineTimer>

#include <algorithm>

namespace platform {

void ChildProcesses::track(QProcess& process) {
    m_tracked.removeAll(nullptr);
    m_tracked.append(&process);
}

void ChildProcesses::killTracked() {
    const QList<QPointer<QProcess>> processes = m_tracked;
    for (const QPointer<QProcess>& process : processes) {
        if (process && process->state() != QProcess::NotRunning)
            process->kill();
    }
    // All were killed first, so together they wait no longer than one would.
    const QDeadlineTimer deadline(1000);
    for (const QPointer<QProcess>& process : processes) {
        if (process && process->state() != QProcess::NotRunning)
            process->waitForFinished(int(std::max<qint64>(1, deadline.remainingTime())));
    }
}

} // namespace platform
