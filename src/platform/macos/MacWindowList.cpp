#include "platform/macos/MacWindowList.h"

#include "platform/macos/CoreFoundationRef.h"

#include <CoreGraphics/CoreGraphics.h>
#include <limits>

namespace platform::macos {

namespace {

// The value under `key` when it is a number that fits `type` exactly; none otherwise.
template <class T> std::optional<T> number(CFDictionaryRef entry, CFStringRef key, CFNumberType type) {
    const CFTypeRef value = CFDictionaryGetValue(entry, key);
    T read{};
    if (!value || CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), type, &read))
        return std::nullopt;
    return read;
}

std::optional<QRectF> bounds(CFDictionaryRef entry) {
    const CFTypeRef value = CFDictionaryGetValue(entry, kCGWindowBounds);
    CGRect rect;
    if (!value || CFGetTypeID(value) != CFDictionaryGetTypeID() ||
        !CGRectMakeWithDictionaryRepresentation(static_cast<CFDictionaryRef>(value), &rect))
        return std::nullopt;
    return QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
}

} // namespace

std::optional<std::vector<WindowEntry>> MacWindowList::onScreenWindows() {
    const auto list = CfRef<CFArrayRef>::adopt(CGWindowListCopyWindowInfo(
        kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID));
    if (!list)
        return std::nullopt;
    std::vector<WindowEntry> entries;
    const CFIndex count = CFArrayGetCount(list.get());
    entries.reserve(size_t(count));
    for (CFIndex i = 0; i < count; ++i) {
        const CFTypeRef value = CFArrayGetValueAtIndex(list.get(), i);
        if (!value || CFGetTypeID(value) != CFDictionaryGetTypeID())
            continue;
        const auto entry = static_cast<CFDictionaryRef>(value);
        WindowEntry window;
        window.ownerPid = number<qint32>(entry, kCGWindowOwnerPID, kCFNumberSInt32Type);
        window.layer = number<qint64>(entry, kCGWindowLayer, kCFNumberSInt64Type);
        // Window numbers are unsigned 32-bit; the dictionary holds them as signed numbers.
        if (const auto read = number<qint64>(entry, kCGWindowNumber, kCFNumberSInt64Type);
            read && *read >= 0 && *read <= std::numeric_limits<quint32>::max())
            window.number = quint32(*read);
        window.bounds = bounds(entry);
        entries.push_back(window);
    }
    return entries;
}

std::optional<QString> MacWindowList::title(quint32 number) {
    const auto list =
        CfRef<CFArrayRef>::adopt(CGWindowListCopyWindowInfo(kCGWindowListOptionIncludingWindow, number));
    if (!list || CFArrayGetCount(list.get()) < 1)
        return std::nullopt;
    const CFTypeRef entry = CFArrayGetValueAtIndex(list.get(), 0);
    if (!entry || CFGetTypeID(entry) != CFDictionaryGetTypeID())
        return std::nullopt;
    const CFTypeRef name = CFDictionaryGetValue(static_cast<CFDictionaryRef>(entry), kCGWindowName);
    if (!name || CFGetTypeID(name) != CFStringGetTypeID())
        return std::nullopt;
    return qString(name);
}

} // namespace platform::macos
