#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QtGlobal>
#include <qcoro/qcorotask.h>

#include <exception>

// Starts a task that nobody awaits: a click, a notification or a loop that runs on its own. Nothing
// owns or cancels it: the task must itself give up once its work no longer applies (it re-checks
// its owner, a generation number or a QPointer after every wait). An exception that escapes it is
// logged under the class name of `namedAfter` instead of being lost with the task.
template <typename T> void detach(QCoro::Task<T>&& task, const QObject* namedAfter) {
    Q_ASSERT(namedAfter);
    const QByteArray owner = namedAfter->metaObject()->className();
    [](QCoro::Task<T> task, QByteArray owner) -> QCoro::Task<> {
        try {
            co_await std::move(task);
        } catch (const std::exception& error) {
            qCritical("Tallyrig: a task of %s failed: %s", owner.constData(), error.what());
        } catch (...) {
            qCritical("Tallyrig: a task of %s failed", owner.constData());
        }
    }(std::move(task), owner);
}
