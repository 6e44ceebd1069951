#pragma once

// The targeting tables run twice: on the fake ports, and, built with TALLYRIG_THROUGH_APPLE, through
// the macOS adapters over the fake Apple interfaces answering from the same fake desktop, where
// each test also ends with every Core Foundation object released exactly once.

#include "support/FakeDesktop.h"

#include <QTest>

#ifdef TALLYRIG_THROUGH_APPLE

#include "platform/macos/MacAccessibility.h"
#include "platform/macos/MacWindowList.h"
#include "support/FakeApple.h"

namespace through {

inline constexpr bool apple = true;

struct Adapters {
    platform::macos::MacWindowList windows;
    platform::macos::MacAccessibility accessibility;
};

inline Adapters& adapters(FakeDesktop& desktop) {
    if (!desktop.through) {
        FakeApple::bind(&desktop);
        desktop.through = std::make_shared<Adapters>();
    }
    return *std::static_pointer_cast<Adapters>(desktop.through);
}

} // namespace through

inline platform::TargetingPorts portsOf(FakeDesktop& desktop) {
    through::Adapters& adapters = through::adapters(desktop);
    return {adapters.windows, desktop.applications, adapters.accessibility};
}
inline platform::Accessibility& accessibilityOf(FakeDesktop& desktop) {
    return through::adapters(desktop).accessibility;
}
inline QString nameOf(const platform::AXElementRef& element) {
    const FakeAXElement* node = FakeApple::nodeOf(platform::macos::nativeElement(element));
    return node ? node->name : QString();
}
// An application that did not answer is asked nothing more until it does.
inline QStringList expectedLog(const QStringList& requests) {
    const qsizetype unanswered = FakeApple::firstUnanswered();
    return unanswered < 0 ? requests : requests.mid(0, unanswered + 1);
}
inline void checkReleased() {
    const QStringList faults = FakeApple::faults();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
}

#else

namespace through {
inline constexpr bool apple = false;
}

inline platform::TargetingPorts portsOf(FakeDesktop& desktop) {
    return desktop.ports();
}
inline platform::Accessibility& accessibilityOf(FakeDesktop& desktop) {
    return desktop.accessibility;
}
inline QString nameOf(const platform::AXElementRef& element) {
    const auto* fake = dynamic_cast<const FakeAXElement*>(element.get());
    return fake ? fake->name : QString();
}
inline QStringList expectedLog(const QStringList& requests) {
    return requests;
}
inline void checkReleased() {}

#endif
