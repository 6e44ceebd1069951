#pragma once

#include "platform/Accessibility.h"
#include "platform/linux/AtspiApplication.h"
#include "platform/linux/DevicePixels.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace platform::atspi {

// Accessibility over AT-SPI, spoken directly on the accessibility bus with QtDBus (no GLib main
// loop). Every call gives up after the time-out of the application element it came from; once a
// call to an application went unanswered, every call to it gives up at once until it answers again.
// Positions are logical pixels, converted where they enter and leave.
class AtspiAccessibility final : public Accessibility {
public:
    AtspiAccessibility(Windows windows, x11::DevicePixels pixels);
    ~AtspiAccessibility() override;

    bool isTrusted() override;
    bool requestTrust() override;
    bool openSettings() override;
    AXElementRef application(qint32 pid, std::chrono::milliseconds timeout) override;
    AXElementRef elementAt(const AXElementRef& application, float x, float y) override;

    // Why other applications cannot be read, for a developer; empty when they can.
    QString problem();

    Published published(qint32 pid, std::chrono::milliseconds timeout) override;
    bool askToPublish(qint32 pid, std::chrono::milliseconds timeout) override;

    // The AX-style role name of an AT-SPI role number ("push button" gives "AXButton").
    static QString axRole(uint role);
    // The states of a state set that say something to a developer, by their AT-SPI names, and
    // "disabled" for an element neither enabled nor sensitive.
    static QStringList stateNames(quint64 states);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform::atspi
