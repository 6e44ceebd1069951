#pragma once

#include <QString>
#include <QtGlobal>
#include <qcoro/qcorotask.h>

#include <exception>
#include <utility>

namespace panel {

// Runs a task that nobody awaits. The task itself re-checks after each wait that its owner still
// exists; what it throws is reported here instead of vanishing with it.
template <class T> void detach(QCoro::Task<T> task, QString what) {
    [](QCoro::Task<T> task, QString what) -> QCoro::Task<> {
        try {
            co_await std::move(task);
        } catch (const std::exception& error) {
            qWarning("Tallyrig: %s failed: %s", qUtf8Printable(what), error.what());
        } catch (...) {
            qWarning("Tallyrig: %s failed", qUtf8Printable(what));
        }
    }(std::move(task), std::move(what));
}

} // namespace panel
