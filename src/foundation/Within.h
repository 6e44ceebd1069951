#pragma once

#include <QObject>
#include <QPointer>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <coroutine>
#include <utility>

// Waits that belong to an owner. Each ends early when its owner goes away, at once and inside the
// owner's destruction, so that a task waiting on its owner's behalf is never left suspended (and
// its frame never leaks) because nothing will ever wake it, not even once the event loop has
// stopped. The task then finds its owner gone, as it checks after every wait anyway.
namespace Within {

// Suspends until `sender` emits `signal` (true) or `owner` goes away (false). With no owner it
// waits for the signal alone.
template <typename Sender, typename Signal> class SignalWait {
public:
    SignalWait(QObject* owner, Sender* sender, Signal signal)
        : m_owned(owner != nullptr), m_owner(owner), m_sender(sender), m_signal(signal) {}
    // Moved only before it is awaited; once suspended, connections point at it.
    SignalWait(SignalWait&&) = default;
    SignalWait(const SignalWait&) = delete;
    SignalWait& operator=(const SignalWait&) = delete;

    bool await_ready() const noexcept { return (m_owned && !m_owner) || !m_sender; }

    void await_suspend(std::coroutine_handle<> handle) {
        m_handle = handle;
        // A child of the owner: its destruction is the owner's.
        m_guard = new QObject(m_owner);
        QObject::connect(m_sender, m_signal, m_guard, [this] { finish(true); });
        m_ownerGone = QObject::connect(m_guard, &QObject::destroyed, [this] {
            m_guard = nullptr;
            finish(false);
        });
    }

    bool await_resume() const noexcept { return m_signalled; }

private:
    void finish(bool signalled) {
        if (!m_handle)
            return;
        m_signalled = signalled;
        if (QObject* guard = std::exchange(m_guard, nullptr)) {
            QObject::disconnect(m_ownerGone);
            // Not deleted here: it may be the signal's context, in the middle of delivering it.
            guard->deleteLater();
        }
        // Last: the frame this object lives in may end during the resumption.
        std::exchange(m_handle, nullptr).resume();
    }

    bool m_owned;
    QPointer<QObject> m_owner;
    QPointer<Sender> m_sender;
    Signal m_signal;
    std::coroutine_handle<> m_handle;
    QObject* m_guard = nullptr;
    QMetaObject::Connection m_ownerGone;
    bool m_signalled = false;
};

template <typename Sender, typename Signal>
SignalWait<Sender, Signal> signal(QObject* owner, Sender* sender, Signal signal) {
    return {owner, sender, signal};
}

// Sleeps for `interval`; false when `owner` went away meanwhile (or was already gone).
QCoro::Task<bool> sleep(QObject* owner, std::chrono::milliseconds interval);

} // namespace Within
