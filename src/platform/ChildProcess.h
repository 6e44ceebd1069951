#pragma once

#include <QByteArray>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <qcoro/qcorotask.h>

#include <chrono>

// Helpers for every child process the app runs (the bridge and its set-up, the login shell, the
// simulator tool): waiting for them without blocking, disposing of them, and decoding their output.
namespace ChildProcess {

// Suspends until the process has left the Starting state (it runs, failed to start, or was
// destroyed) or `timeout` has passed. True when it runs. QCoro's waitForStarted misses a failed
// start and would wait out the whole time-out.
QCoro::Task<bool> started(QPointer<QProcess> process, std::chrono::milliseconds timeout);

// Suspends until the process is no longer running (it ended, never started, or was destroyed) or
// `timeout` has passed; a negative timeout waits without limit. True when it is no longer running.
QCoro::Task<bool> ended(QPointer<QProcess> process, std::chrono::milliseconds timeout);

// Deletes a process object once it has ended, without blocking.
void dispose(QProcess* process);

// UTF-8 that arrives in pieces: a character split between two pieces is decoded whole, invalid
// bytes become U+FFFD.
class Utf8Stream {
public:
    QString feed(const QByteArray& bytes);
    // Whatever incomplete sequence is left, as U+FFFD.
    QString finish();

private:
    QByteArray m_pending;
};

} // namespace ChildProcess
