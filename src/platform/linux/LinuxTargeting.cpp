#include "platform/Targeting.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/XcbDesktop.h"

namespace platform {

namespace {

class XcbWindowList final : public WindowList {
public:
    explicit XcbWindowList(std::shared_ptr<x11::XcbDesktop> desktop) : m_desktop(std::move(desktop)) {}
    std::optional<std::vector<WindowEntry>> onScreenWindows() override {
        return m_desktop->onScreenWindows();
    }

private:
    std::shared_ptr<x11::XcbDesktop> m_desktop;
};

class XcbRunningApplications final : public RunningApplications {
public:
    explicit XcbRunningApplications(std::shared_ptr<x11::XcbDesktop> desktop)
        : m_desktop(std::move(desktop)) {}
    std::optional<QString> bundleIdentifier(qint32 pid) override { return m_desktop->applicationClass(pid); }
    bool isHidden(qint32 pid) override { return m_desktop->isHidden(pid); }

private:
    std::shared_ptr<x11::XcbDesktop> m_desktop;
};

} // namespace

std::unique_ptr<Targeting> createTargeting() {
    auto desktop = std::make_shared<x11::XcbDesktop>();
    auto accessibility = std::make_unique<x11::AtspiAccessibility>(desktop);
    auto targeting = std::make_unique<Targeting>();
    if (const QString problem = desktop->problem(); !problem.isEmpty())
        targeting->problems.append(problem);
    if (const QString problem = accessibility->problem(); !problem.isEmpty())
        targeting->problems.append(problem);
    targeting->windows = std::make_unique<XcbWindowList>(desktop);
    targeting->applications = std::make_unique<XcbRunningApplications>(desktop);
    targeting->accessibility = std::move(accessibility);
    return targeting;
}

} // namespace platform
