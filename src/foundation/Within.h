#pragma once

#include <QObject>
#include <QPointer>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <coroutine>
#include <utility>

// Waits that belong to an owner, all under one rule. A wait never resumes inside the emission
// that ends it, but on a later turn of the event loop, so the emitter has finished its signal
// before the waiter goes on (and may free it, or wait on it again). When the owner goes away
// first, the wait ends at once, inside the owner's destruction: nothing might wake it later, not
// even once the event loop has stopped, and its frame would leak. The waiter then finds its owner
// gone, as it checks after every wait anyway, and touches nothing.
namespace Within {

// Suspends until `sender` has emitted `signal` (true) or `owner` goes away (false). With no owner
// it waits for the signal alone.
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
        // A child of the owner: its destruction is the owner's, and it drops a resumption not yet
        // delivered.
        m_guard = new QObject(m_owner);
        m_signalled = QObject::connect(m_sender, m_signal, m_guard, [this] {
            QObject::disconnect(m_signalled);
            QMetaObject::invokeMethod(
                m_guard, [this] { finish(true); }, Qt::QueuedConnection);
        });
        m_ownerGone = QObject::connect(m_guard, &QObject::destroyed, [this] {
            m_guard = nullptr;
            finish(false);
        });
    }

    bool await_resume() const noexcept { return m_result; }

private:
    void finish(bool signalled) {
        if (!m_handle)
            return;
        m_result = signalled;
        QObject::disconnect(m_signalled);
        if (QObject* guard = std::exchange(m_guard, nullptr)) {
            QObject::disconnect(m_ownerGone);
            // Not deleted here: this runs inside its event.
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
    QMetaObject::Connection m_signalled;
    QMetaObject::Connection m_ownerGone;
    bool m_result = false;
};

template <typename Sender, typename Signal>
SignalWait<Sender, Signal> signal(QObject* owner, Sender* sender, Signal signal) {
    return {owner, sender, signal};
}

// Sleeps for `interval`; false when `owner` went away meanwhile (or was already gone).
QCoro::Task<bool> sleep(QObject* owner, std::chrono::milliseconds interval);

// Coroutines waiting for something to change. A wakeAll() ends every wait begun before it.
class Waiters : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Suspends until the next wakeAll() (true) or until `owner` goes away (false). The owner is
    // the one holding the list: its destruction is what ends the waits the list no longer can.
    SignalWait<Waiters, void (Waiters::*)()> wait(QObject* owner) { return {owner, this, &Waiters::woken}; }
    void wakeAll() { emit woken(); }

signals:
    void woken();
};

} // namespace Within
