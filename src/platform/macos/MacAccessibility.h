#pragma once

#include "platform/Accessibility.h"

#include <memory>

namespace platform::macos {

// The accessibility interface (ApplicationServices), called on the UI thread only. Every element it
// hands out gives up after its application's time-out. An application that does not answer in time
// goes on the record of unresponsive applications: it costs one time-out, then every call to it
// gives up at once until a check, asking it ever more rarely, finds it answering again.
class MacAccessibility final : public Accessibility {
public:
    MacAccessibility();
    ~MacAccessibility() override;

    bool isTrusted() override;
    bool requestTrust() override;
    bool openSettings() override;
    AXElementRef application(qint32 pid, std::chrono::milliseconds timeout) override;
    AXElementRef elementAt(const AXElementRef& application, float x, float y) override;

    struct Shared;

private:
    std::shared_ptr<Shared> d;
};

// The accessibility interface's own element (an AXUIElementRef) behind one this port handed out;
// null for any other.
const void* nativeElement(const AXElementRef& element);

} // namespace platform::macos
