#include "platform/Targeting.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DevicePixels.h"
#include "platform/linux/XcbConnection.h"
#include "platform/linux/XcbDesktop.h"
#include "platform/linux/XcbWindowSystem.h"

#include <QFileInfo>

namespace platform {

namespace {

// The window list in logical pixels: the X server's device pixels stop here.
class XcbWindowList final : public WindowList {
public:
    XcbWindowList(std::shared_ptr<x11::XcbDesktop> desktop, x11::DevicePixels pixels)
        : m_desktop(std::move(desktop)), m_pixels(std::move(pixels)) {}
    std::optional<std::vector<WindowEntry>> onScreenWindows() override {
        auto entries = m_desktop->onScreenWindows();
        if (entries) {
            for (WindowEntry& entry : *entries) {
                if (entry.bounds)
                    entry.bounds = m_pixels.toLogical(*entry.bounds);
                if (entry.clientBounds)
                    entry.clientBounds = m_pixels.toLogical(*entry.clientBounds);
            }
        }
        return entries;
    }
    bool watchChanges(std::function<void()> changed) override {
        return m_desktop->watchChanges(std::move(changed));
    }
    std::optional<QString> title(quint32 number) override { return m_desktop->title(number); }

private:
    std::shared_ptr<x11::XcbDesktop> m_desktop;
    x11::DevicePixels m_pixels;
};

class XcbRunningApplications final : public RunningApplications {
public:
    explicit XcbRunningApplications(std::shared_ptr<x11::XcbDesktop> desktop)
        : m_desktop(std::move(desktop)) {}
    std::optional<QString> bundleIdentifier(qint32 pid) override { return m_desktop->applicationClass(pid); }
    bool isHidden(qint32 pid) override { return m_desktop->isHidden(pid); }
    std::optional<QString> executable(qint32 pid) override {
        const QString target = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (target.isEmpty())
            return std::nullopt;
        return target;
    }

private:
    std::shared_ptr<x11::XcbDesktop> m_desktop;
};

} // namespace

std::unique_ptr<Targeting> createTargeting() {
    auto desktop = std::make_shared<x11::XcbDesktop>(x11::XcbConnection::shared());
    const x11::DevicePixels pixels;
    atspi::Windows windows{
        [desktop](qint32 pid, std::optional<QRectF> near) { return desktop->activate(pid, near); },
        [desktop] { return desktop->onScreenWindows(); },
        [desktop](qint32 pid) { return desktop->contents(pid); }};
    auto accessibility = std::make_unique<atspi::AtspiAccessibility>(std::move(windows), pixels);
    auto targeting = std::make_unique<Targeting>();
    if (const QString problem = desktop->problem(); !problem.isEmpty())
        targeting->problems.append(problem);
    if (const QString problem = accessibility->problem(); !problem.isEmpty())
        targeting->problems.append(problem);
    targeting->windows = std::make_unique<XcbWindowList>(desktop, pixels);
    targeting->applications = std::make_unique<XcbRunningApplications>(desktop);
    targeting->accessibility = std::move(accessibility);
    return targeting;
}

std::unique_ptr<WindowSystem> createWindowSystem() {
    return std::make_unique<x11::XcbWindowSystem>(x11::XcbConnection::shared());
}

} // namespace platform
