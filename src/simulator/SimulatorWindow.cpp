#include "simulator/SimulatorWindow.h"

#include "foundation/Geometry.h"

#include <algorithm>
#include <deque>

using platform::AXElementRef;

namespace {

const QString separator = QStringLiteral(" \u2013 ");

bool isSimulator(const std::optional<QString>& bundleIdentifier) {
    return bundleIdentifier && (*bundleIdentifier == QLatin1String("com.apple.iphonesimulator") ||
                                *bundleIdentifier == QLatin1String("com.apple.dt.Devices"));
}

// Windows smaller than this on either side are the Simulator's palettes and sheets, never a device.
constexpr double smallestDeviceWindowSide = 100;
// A group this close to the window's own size is the window's content, not the device screen.
constexpr double screenMargin = 4;
// The device screen sits at most this deep below the window.
constexpr int deepestScreenLevel = 3;

struct Candidate {
    quint32 number;
    QRectF bounds;
    std::optional<QRectF> clientBounds;

    // Toolkits differ in whether they report the window with or without the window manager's frame.
    bool matches(const QRectF& integral) const {
        return Geometry::integral(bounds) == integral ||
               (clientBounds && Geometry::integral(*clientBounds) == integral);
    }
};

} // namespace

namespace {

// What names the window's device: the tree's title, or the list's where the tree gives none.
const QString& naming(const SimulatorWindow& window) {
    return !window.axWindow && window.listedTitle ? *window.listedTitle : window.title;
}

} // namespace

QString SimulatorWindow::deviceName() const {
    const QString& title = naming(*this);
    const qsizetype at = title.indexOf(separator);
    return at < 0 ? title : title.left(at);
}

std::optional<QString> SimulatorWindow::runtime() const {
    const QString& title = naming(*this);
    const qsizetype first = title.indexOf(separator);
    if (first < 0)
        return std::nullopt;
    const qsizetype start = first + separator.size();
    const qsizetype second = title.indexOf(separator, start);
    return second < 0 ? title.mid(start) : title.mid(start, second - start);
}

std::optional<SimulatorWindow> SimulatorWindow::front(const platform::TargetingPorts& ports,
                                                      std::chrono::milliseconds timeout) {
    const std::vector<platform::WindowEntry> list =
        ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{});

    std::vector<qint32> owners;
    for (const auto& entry : list) {
        if (entry.ownerPid && std::find(owners.begin(), owners.end(), *entry.ownerPid) == owners.end())
            owners.push_back(*entry.ownerPid);
    }
    const auto simulator = std::find_if(owners.begin(), owners.end(), [&](qint32 pid) {
        return isSimulator(ports.applications.bundleIdentifier(pid));
    });
    if (simulator == owners.end())
        return std::nullopt;
    const qint32 pid = *simulator;
    if (ports.applications.isHidden(pid))
        return std::nullopt;

    std::vector<Candidate> candidates;
    for (const auto& entry : list) {
        if (entry.ownerPid != pid || entry.layer != 0 || !entry.number || !entry.bounds)
            continue;
        if (entry.bounds->width() > smallestDeviceWindowSide &&
            entry.bounds->height() > smallestDeviceWindowSide)
            candidates.push_back({*entry.number, *entry.bounds, entry.clientBounds});
    }
    if (candidates.empty())
        return std::nullopt;

    // The front window, named as nothing tells its device.
    SimulatorWindow unnamed;
    unnamed.pid = pid;
    unnamed.frame = candidates.front().bounds;
    unnamed.title = QStringLiteral("Simulator");
    unnamed.number = candidates.front().number;
    unnamed.content = candidates.front().clientBounds;
    unnamed.listedTitle = ports.windows.title(candidates.front().number);
    if (!ports.accessibility.isTrusted())
        return unnamed;

    const AXElementRef application = ports.accessibility.application(pid, timeout);
    if (!application)
        return unnamed;
    const QList<AXElementRef> windows =
        AX::value<QList<AXElementRef>>(*application, QStringLiteral("AXWindows"))
            .value_or(QList<AXElementRef>{});

    QList<AXElementRef> standard;
    for (const AXElementRef& window : windows) {
        if (!window ||
            AX::value<QString>(*window, QStringLiteral("AXSubrole")) != QLatin1String("AXStandardWindow"))
            continue;
        if (AX::value<bool>(*window, QStringLiteral("AXMinimized")) != true)
            standard.append(window);
    }
    QList<AXElementRef> devices;
    for (const AXElementRef& window : std::as_const(standard)) {
        const auto identifier = AX::value<QString>(*window, QStringLiteral("AXIdentifier"));
        if (identifier && identifier->startsWith(QLatin1String("deviceWindow")))
            devices.append(window);
    }
    const bool fallback = devices.isEmpty();

    for (const AXElementRef& window : fallback ? standard : devices) {
        const std::optional<QRectF> rect = AX::frame(*window);
        if (!rect)
            continue;
        const QRectF integral = Geometry::integral(*rect);
        const auto candidate = std::find_if(candidates.begin(), candidates.end(),
                                            [&](const Candidate& c) { return c.matches(integral); });
        if (candidate == candidates.end())
            continue;
        const QString title = AX::value<QString>(*window, QStringLiteral("AXTitle")).value_or(QString());
        // Without device windows to go by, the Simulator's own organiser windows must not pass as one.
        if (fallback && (title == QLatin1String("Device Hub") || title == QLatin1String("Devices")))
            continue;
        SimulatorWindow found;
        found.pid = pid;
        found.frame = candidate->bounds;
        found.title = title;
        found.number = candidate->number;
        found.axWindow = window;
        found.content = candidate->clientBounds;
        return found;
    }
    // A tree that describes none of the listed windows (some Simulators expose little or none) is
    // no reason to leave the user without a panel; one that describes them and offers no device
    // window is.
    const bool described = std::any_of(windows.begin(), windows.end(), [&](const AXElementRef& window) {
        const std::optional<QRectF> rect = window ? AX::frame(*window) : std::nullopt;
        return rect && std::any_of(candidates.begin(), candidates.end(),
                                   [&](const Candidate& c) { return c.matches(Geometry::integral(*rect)); });
    });
    if (!described)
        return unnamed;
    return std::nullopt;
}

std::optional<QRectF> SimulatorWindow::screenRect() const {
    const std::optional<Screen> found = screen();
    return found ? std::optional(found->rect) : std::nullopt;
}

std::optional<SimulatorWindow::Screen> SimulatorWindow::screen() const {
    if (!axWindow)
        return std::nullopt;
    std::optional<Screen> best;
    std::deque<std::pair<AXElementRef, int>> queue{{axWindow, 0}};
    while (!queue.empty()) {
        const auto [element, depth] = queue.front();
        queue.pop_front();
        if (depth > 0 && AX::value<QString>(*element, QStringLiteral("AXRole")) == QLatin1String("AXGroup")) {
            if (const std::optional<QRectF> rect = AX::frame(*element)) {
                if (AX::value<QString>(*element, QStringLiteral("AXSubrole")) ==
                    QLatin1String("iOSContentGroup"))
                    return Screen{element, *rect};
                const double area = rect->width() * rect->height();
                const bool candidate = rect->width() < frame.width() - screenMargin &&
                                       rect->height() < frame.height() - screenMargin &&
                                       Geometry::contains(frame, *rect);
                if (candidate && (best ? area > best->rect.width() * best->rect.height() : area > 0))
                    best = Screen{element, *rect};
            }
        }
        if (depth < deepestScreenLevel) {
            const auto children = AX::value<QList<AXElementRef>>(*element, QStringLiteral("AXChildren"));
            for (const AXElementRef& child : children.value_or(QList<AXElementRef>{})) {
                if (child)
                    queue.emplace_back(child, depth + 1);
            }
        }
    }
    return best;
}

bool SimulatorWindow::isDirectlyAbove(platform::WindowList& windows, qint64 applicationWindow,
                                      quint32 simulatorWindow) {
    std::vector<quint32> numbers;
    for (const auto& entry : windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{})) {
        if (entry.layer == 0 && entry.number)
            numbers.push_back(*entry.number);
    }
    const auto application =
        std::find(numbers.begin(), numbers.end(), static_cast<quint32>(applicationWindow));
    const auto simulator = std::find(numbers.begin(), numbers.end(), simulatorWindow);
    return application != numbers.end() && simulator != numbers.end() && simulator == application + 1;
}
