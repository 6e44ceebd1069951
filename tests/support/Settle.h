#pragma once

#include "foundation/Failure.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>
#include <type_traits>

// The end of a task, value or exception, waited for in a nested event loop. QCoro::waitFor alone
// would hang on a task that throws.
template <class T> struct Settled {
    std::optional<T> value;
    std::exception_ptr error;

    template <class E> bool failedWith() const {
        if (!error)
            return false;
        try {
            std::rethrow_exception(error);
        } catch (const E&) {
            return true;
        } catch (...) {
            return false;
        }
    }

    // The failure's description; empty when the task succeeded or threw something else.
    QString description() const {
        if (!error)
            return {};
        try {
            std::rethrow_exception(error);
        } catch (const Failure& failure) {
            return failure.description();
        } catch (...) {
            return {};
        }
    }
};

struct Done {};

template <class T> auto settle(QCoro::Task<T> task) {
    using Value = std::conditional_t<std::is_void_v<T>, Done, T>;
    Settled<Value> settled;
    auto body = [](QCoro::Task<T> task, Settled<Value>& into) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(task);
                into.value = Done{};
            } else {
                into.value = co_await std::move(task);
            }
        } catch (...) {
            into.error = std::current_exception();
        }
    };
    QCoro::waitFor(body(std::move(task), settled));
    return settled;
}
