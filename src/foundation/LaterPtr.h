#pragma once

#include <QObject>
#include <QPointer>

#include <utility>

// Owns a Qt object and lets it go with deleteLater(), never with delete. The owner is often a
// coroutine frame, which ends at once when the frame's own owner goes away, and that may happen
// while Qt is still in the middle of one of the object's signals (a reply's finished()) and about
// to use the object again. An object that its parent deleted first is simply gone.
template <class T> class LaterPtr {
public:
    LaterPtr() = default;
    explicit LaterPtr(T* object) : m_object(object) {}
    LaterPtr(LaterPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    LaterPtr& operator=(LaterPtr&& other) noexcept {
        reset(std::exchange(other.m_object, nullptr));
        return *this;
    }
    LaterPtr(const LaterPtr&) = delete;
    LaterPtr& operator=(const LaterPtr&) = delete;
    ~LaterPtr() { reset(); }

    void reset(T* object = nullptr) {
        if (T* old = std::exchange(m_object, object).data())
            old->deleteLater();
    }

    T* get() const { return m_object.data(); }
    T* operator->() const { return m_object.data(); }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return !m_object.isNull(); }

private:
    QPointer<T> m_object;
};
