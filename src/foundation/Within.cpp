#include "foundation/Within.h"

#include "foundation/LaterPtr.h"

#include <QTimer>

namespace Within {

QCoro::Task<bool> sleep(QObject* owner, std::chrono::milliseconds interval) {
    // This frame ends inside the timer's timeout().
    const LaterPtr<QTimer> timer(new QTimer);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->start(interval);
    co_return co_await signal(owner, timer.get(), &QTimer::timeout);
}

} // namespace Within
