#include "platform/ChildProcess.h"

#include "foundation/Within.h"

#include <QDeadlineTimer>
#include <QTimer>

namespace ChildProcess {

namespace {

// Suspends until `over()` holds, checked whenever the process changes state or goes, or until
// `timeout` has passed (a negative one never passes). True when `over()` holds.
template <typename Over>
QCoro::Task<bool> until(QPointer<QProcess> process, std::chrono::milliseconds timeout, Over over) {
    const QDeadlineTimer deadline = timeout.count() < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                        : QDeadlineTimer(timeout, Qt::PreciseTimer);
    while (!over()) {
        if (deadline.hasExpired())
            co_return false;
        Within::Waiters change;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer); // a coarse timer may fire early, cutting a grace period short
        QObject::connect(&timer, &QTimer::timeout, &change, &Within::Waiters::wakeAll);
        QObject::connect(process, &QProcess::stateChanged, &change, &Within::Waiters::wakeAll);
        QObject::connect(process, &QObject::destroyed, &change, &Within::Waiters::wakeAll);
        if (!deadline.isForever())
            timer.start(std::chrono::milliseconds(deadline.remainingTime()));
        co_await change.wait(nullptr);
    }
    co_return true;
}

} // namespace

QCoro::Task<bool> started(QPointer<QProcess> process, std::chrono::milliseconds timeout) {
    // Named, not a temporary of the co_await: GCC 12 destroys such temporaries twice.
    auto leftStarting = [process] { return !process || process->state() != QProcess::Starting; };
    co_await until(process, timeout, std::move(leftStarting));
    co_return process && process->state() == QProcess::Running;
}

QCoro::Task<bool> ended(QPointer<QProcess> process, std::chrono::milliseconds timeout) {
    return until(process, timeout,
                 [process] { return !process || process->state() == QProcess::NotRunning; });
}

void dispose(QProcess* process) {
    if (!process)
        return;
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
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
