#include "platform/macos/CoreFoundationRef.h"

namespace platform::macos {

CfRef<CFStringRef> cfString(const QString& text) {
    return CfRef<CFStringRef>::adopt(CFStringCreateWithCharacters(
        kCFAllocatorDefault, reinterpret_cast<const UniChar*>(text.utf16()), CFIndex(text.size())));
}

std::optional<QString> qString(CFTypeRef value) {
    if (!value || CFGetTypeID(value) != CFStringGetTypeID())
        return std::nullopt;
    const auto string = static_cast<CFStringRef>(value);
    const CFIndex length = CFStringGetLength(string);
    QString text(qsizetype(length), Qt::Uninitialized);
    CFStringGetCharacters(string, CFRangeMake(0, length), reinterpret_cast<UniChar*>(text.data()));
    return text;
}

} // namespace platform::macos
