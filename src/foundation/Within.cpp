#include "foundation/Within.h"

#include <QTimer>

namespace Within {

QCoro::Task<bool> sleep(QObject* owner, std::chrono::milliseconds interval) {
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(interval);
    co_return co_await signal(owner, &timer, &QTimer::timeout);
}

} // namespace Within
