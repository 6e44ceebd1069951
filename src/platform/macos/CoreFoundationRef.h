#pragma once

#include <QString>

#include <CoreFoundation/CoreFoundation.h>
#include <optional>
#include <utility>

namespace platform::macos {

// One reference to a Core Foundation object, released exactly once: taken over from a Create or
// Copy call (`adopt`, or `out()` as the call's out parameter), or taken anew on an object another
// owns (`retain`).
template <class T> class CfRef {
public:
    CfRef() = default;
    static CfRef adopt(T object) {
        CfRef ref;
        ref.m_object = object;
        return ref;
    }
    static CfRef retain(T object) {
        if (object)
            CFRetain(object);
        return adopt(object);
    }
    CfRef(const CfRef& other) : m_object(other.m_object) {
        if (m_object)
            CFRetain(m_object);
    }
    CfRef(CfRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    CfRef& operator=(CfRef other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~CfRef() {
        if (m_object)
            CFRelease(m_object);
    }

    T get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // Where a Copy call puts what it hands over; whatever was held before is let go first.
    T* out() {
        *this = CfRef();
        return &m_object;
    }

private:
    T m_object = nullptr;
};

// Texts cross in UTF-16 both ways, so nothing is lost.
CfRef<CFStringRef> cfString(const QString& text);
// None when `value` is not a string.
std::optional<QString> qString(CFTypeRef value);

} // namespace platform::macos
