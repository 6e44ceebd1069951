#pragma once

#include "platform/Accessibility.h"

#include <QString>

#include <memory>

namespace platform::x11 {

class XcbDesktop;

// Accessibility over AT-SPI, spoken directly on the accessibility bus with QtDBus (no GLib main
// loop). Every call gives up after the time-out of the application element it came from; once one
// call of an application element went unanswered, the rest of that element's calls give up at once.
class AtspiAccessibility final : public Accessibility {
public:
    explicit AtspiAccessibility(std::shared_ptr<XcbDesktop> desktop);
    ~AtspiAccessibility() override;

    bool isTrusted() override;
    bool requestTrust() override;
    bool openSettings() override;
    AXElementRef application(qint32 pid, std::chrono::milliseconds timeout) override;
    AXElementRef elementAt(const AXElementRef& application, float x, float y) override;

    // Why other applications cannot be read, for a developer; empty when they can.
    QString problem();

    // The AX-style role name of an AT-SPI role number ("push button" gives "AXButton").
    static QString axRole(uint role);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform::x11
