#include "simulator/WindowTarget.h"

#include "foundation/Geometry.h"

#include <QFileInfo>

#include <algorithm>

bool WindowTarget::sameApplication(const WindowTarget& other) const {
    return windowClass == other.windowClass &&
           (!executable || !other.executable || executable == other.executable);
}

namespace WindowTargets {

namespace {

bool normal(const platform::WindowEntry& entry) {
    return entry.layer == 0 && entry.number && entry.bounds && entry.ownerPid;
}

} // namespace

std::optional<platform::WindowEntry> under(const std::vector<platform::WindowEntry>& list, const QPointF& at,
                                           qint32 ours) {
    for (const platform::WindowEntry& entry : list) {
        if (!normal(entry) || !Geometry::contains(*entry.bounds, at))
            continue;
        // Our own window in front: nothing of another application lies under the point there.
        if (entry.ownerPid == ours)
            return std::nullopt;
        return entry;
    }
    return std::nullopt;
}

std::optional<WindowTarget> identify(const platform::WindowEntry& entry,
                                     platform::RunningApplications& applications) {
    if (!normal(entry))
        return std::nullopt;
    const std::optional<QString> windowClass = applications.bundleIdentifier(*entry.ownerPid);
    if (!windowClass || windowClass->isEmpty())
        return std::nullopt;
    return WindowTarget{*windowClass, applications.executable(*entry.ownerPid), entry.number,
                        *entry.ownerPid};
}

std::optional<platform::WindowEntry> find(const WindowTarget& target,
                                          const std::vector<platform::WindowEntry>& list,
                                          platform::RunningApplications& applications) {
    if (target.number) {
        for (const platform::WindowEntry& entry : list) {
            if (normal(entry) && entry.number == target.number && entry.ownerPid == target.pid)
                return entry;
        }
    }
    std::vector<qint32> asked;
    for (const platform::WindowEntry& entry : list) {
        if (!normal(entry) || std::find(asked.begin(), asked.end(), *entry.ownerPid) != asked.end())
            continue;
        asked.push_back(*entry.ownerPid);
        const std::optional<WindowTarget> other = identify(entry, applications);
        if (other && other->sameApplication(target))
            return entry;
    }
    return std::nullopt;
}

SimulatorWindow window(const WindowTarget& target, const platform::WindowEntry& entry,
                       const platform::TargetingPorts& ports, double scale,
                       std::chrono::milliseconds timeout) {
    SimulatorWindow found;
    found.kind = SimulatorWindow::Kind::Window;
    found.pid = *entry.ownerPid;
    found.frame = *entry.bounds;
    found.content = entry.clientBounds;
    found.number = entry.number;
    found.title = ports.windows.title(*entry.number).value_or(QString());
    SimulatorWindow::Application application;
    application.windowClass = target.windowClass;
    application.executable = ports.applications.executable(found.pid);
    application.scale = scale;
    const platform::AXElementRef root =
        ports.accessibility.isTrusted() ? ports.accessibility.application(found.pid, timeout) : nullptr;
    if (root) {
        application.name = AX::value<QString>(*root, QStringLiteral("AXTitle")).value_or(QString()).trimmed();
        // The tree's window with the frame the window list has, content or frame.
        const QRectF frame = Geometry::integral(found.frame);
        const std::optional<QRectF> content =
            found.content ? std::optional(Geometry::integral(*found.content)) : std::nullopt;
        for (const platform::AXElementRef& candidate :
             AX::value<QList<platform::AXElementRef>>(*root, QStringLiteral("AXWindows"))
                 .value_or(QList<platform::AXElementRef>{})) {
            const std::optional<QRectF> rect = candidate ? AX::frame(*candidate) : std::nullopt;
            if (rect && (Geometry::integral(*rect) == frame || Geometry::integral(*rect) == content)) {
                found.axWindow = candidate;
                break;
            }
        }
    }
    if (application.name.isEmpty())
        application.name =
            application.executable ? QFileInfo(*application.executable).fileName() : target.windowClass;
    if (found.title.isEmpty())
        found.title = application.name;
    found.application = std::move(application);
    return found;
}

} // namespace WindowTargets
