#include "bridge/ChildProcess.h"

#include <QList>
#include <QTimer>
#include <qcoro/qcorosignal.h>

#include <csignal>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace ChildProcess {

QCoro::Task<> Wake::wait() {
    if (m_fired)
        co_return;
    co_await qCoro(this, &Wake::fired);
}

QCoro::Task<bool> ended(QPointer<QProcess> process, std::chrono::milliseconds timeout) {
    const auto over = [&process] { return !process || process->state() == QProcess::NotRunning; };
    if (over())
        co_return true;
    if (timeout.count() == 0)
        co_return false;

    // The wake-up and the timer live in this frame, so nothing can reach it once it has returned.
    Wake wake;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer); // a coarse timer may fire early, cutting a grace period short
    QObject::connect(&timer, &QTimer::timeout, &wake, &Wake::fire);
    QObject::connect(process, &QProcess::stateChanged, &wake, [&wake](QProcess::ProcessState state) {
        if (state == QProcess::NotRunning)
            wake.fire();
    });
    QObject::connect(process, &QObject::destroyed, &wake, &Wake::fire);
    if (timeout.count() > 0)
        timer.start(timeout);
    co_await wake.wait();
    co_return over();
}

void endWithApp(QProcess& process, int signal, bool ownSession) {
#ifdef Q_OS_UNIX
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent, signal, ownSession] {
        // Runs in the child between fork and exec: async-signal-safe calls only.
        if (ownSession)
            ::setsid();
#ifdef Q_OS_LINUX
        ::prctl(PR_SET_PDEATHSIG, signal);
        if (::getppid() != parent) // the app died before the request took effect
            ::raise(signal);
#else
        Q_UNUSED(parent);
        Q_UNUSED(signal);
#endif
    });
#else
    Q_UNUSED(process);
    Q_UNUSED(signal);
    Q_UNUSED(ownSession);
#endif
}

void signalSession(QProcess& process, int signal) {
#ifdef Q_OS_UNIX
    const qint64 pid = process.processId();
    if (pid > 1)
        ::kill(pid_t(-pid), signal); // the group the child leads
#endif
    if (signal == SIGKILL)
        process.kill();
    else if (signal == SIGTERM)
        process.terminate();
}

void dispose(QProcess* process) {
    if (!process)
        return;
    untrack(process);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

namespace {
QList<QPointer<QProcess>>& tracked() {
    static QList<QPointer<QProcess>> processes;
    return processes;
}
} // namespace

void track(QProcess* process) {
    tracked().append(process);
}

void untrack(QProcess* process) {
    tracked().removeAll(process);
    tracked().removeAll(nullptr);
}

void killTracked() {
    const QList<QPointer<QProcess>> processes = tracked();
    for (const QPointer<QProcess>& process : processes) {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
}

namespace {
// Length of the UTF-8 sequence that a lead byte starts, 0 for a byte that cannot lead.
int sequenceLength(unsigned char byte) {
    if (byte < 0x80)
        return 1;
    if (byte >= 0xC2 && byte <= 0xDF)
        return 2;
    if (byte >= 0xE0 && byte <= 0xEF)
        return 3;
    if (byte >= 0xF0 && byte <= 0xF4)
        return 4;
    return 0;
}
} // namespace

QString Utf8Stream::feed(const QByteArray& bytes) {
    QByteArray data = m_pending + bytes;
    m_pending.clear();
    // Keep back a sequence that the next piece may complete.
    const qsizetype size = data.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(data[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back
        const int length = sequenceLength(byte);
        if (length > back)
            m_pending = data.right(back);
        break;
    }
    data.chop(m_pending.size());
    return QString::fromUtf8(data);
}

QString Utf8Stream::finish() {
    const QString rest = QString::fromUtf8(m_pending);
    m_pending.clear();
    return rest;
}

} // namespace ChildProcess
