#include "simulator/TargetScreen.h"

#include "foundation/Failure.h"

#include <cmath>

namespace {

const QString installHint =
    QStringLiteral("Elements can\u2019t be read from this window. To read them from the simulator itself, "
                   "install AXe: brew install cameroncooke/axe/axe");

QRectF area(const SimulatorWindow& window) {
    return window.content.value_or(window.frame);
}

// The tree, or why there is none.
struct TreeRead {
    std::optional<DeviceTree::Tree> tree;
    std::optional<QString> problem;
};

QCoro::Task<TreeRead> readTree(platform::SimulatorTool* tool, QString udid) {
    TreeRead read;
    if (!tool) {
        read.problem = installHint;
        co_return read;
    }
    const platform::ToolRun run = co_await tool->run(TargetScreens::describeArguments(udid));
    if (run.launchError) {
        read.problem = installHint;
    } else if (run.exitStatus != 0) {
        read.problem = QStringLiteral("Couldn\u2019t read the simulator\u2019s elements: AXe ") +
                       (run.exitStatus < 0 ? QStringLiteral("didn\u2019t answer")
                                           : QStringLiteral("failed (status %1)").arg(run.exitStatus));
    } else {
        try {
            read.tree = DeviceTree::parse(run.output);
        } catch (const Failure& failure) {
            read.problem =
                QStringLiteral("Couldn\u2019t read the simulator\u2019s elements: ") + failure.description();
        }
    }
    co_return read;
}

} // namespace

QRectF TargetScreen::screenIn(const SimulatorWindow& window) const {
    if (window.kind == SimulatorWindow::Kind::Window)
        return area(window);
    if (canvas && still)
        return TargetScreens::fit(still->points, area(window));
    if (source == Source::Window || window.axWindow)
        return window.screenRect().value_or(window.frame);
    return window.frame;
}

namespace TargetScreens {

QRectF fit(const QSizeF& points, const QRectF& area) {
    if (points.isEmpty() || area.isEmpty())
        return area;
    const double k = std::min(area.width() / points.width(), area.height() / points.height());
    const QSizeF size = points * k;
    return {area.center().x() - size.width() / 2, area.center().y() - size.height() / 2, size.width(),
            size.height()};
}

QStringList describeArguments(const QString& udid) {
    return {QStringLiteral("describe-ui"), QStringLiteral("--udid"), udid};
}

TargetScreen live(platform::Accessibility& accessibility, const SimulatorWindow& window) {
    TargetScreen target;
    target.source = TargetScreen::Source::Window;
    target.elements = ElementSources::live(accessibility);
    target.screen = window.screenRect().value_or(window.frame);
    return target;
}

std::optional<TargetScreen> fromWindow(const SimulatorWindow& window,
                                       platform::Accessibility& accessibility) {
    if (window.kind == SimulatorWindow::Kind::Window) {
        TargetScreen target;
        target.source = TargetScreen::Source::Window;
        target.elements = ElementSources::live(accessibility);
        target.screen = area(window);
        return target;
    }
    const std::optional<SimulatorWindow::Screen> screen = window.screen();
    if (!screen)
        return std::nullopt;
    // A screen with nothing on it is a device that keeps its accessibility to itself.
    const auto children =
        AX::value<QList<platform::AXElementRef>>(*screen->element, QStringLiteral("AXChildren"));
    if (!children || children->isEmpty())
        return std::nullopt;
    TargetScreen target;
    target.source = TargetScreen::Source::Window;
    target.elements = ElementSources::live(accessibility);
    target.screen = screen->rect;
    return target;
}

QCoro::Task<TargetScreen> fromDevice(SimulatorWindow window, std::optional<QRectF> screen,
                                     platform::SimulatorTool& simulators,
                                     platform::SimulatorTool* elementTool) {
    // What is left when nothing more can be had: today's picks with no element, over the window.
    TargetScreen target;
    target.elements = ElementSources::none();
    target.screen = screen.value_or(window.frame);

    Simctl::Device device;
    try {
        device = co_await Simctl::device(simulators, window.deviceName(), window.runtime());
    } catch (const Failure& failure) {
        target.problem =
            QStringLiteral("Couldn\u2019t find the simulator\u2019s device: ") + failure.description();
        co_return target;
    }
    const TreeRead read = co_await readTree(elementTool, device.udid);

    QSizeF points = read.tree ? read.tree->size : QSizeF();
    // A canvas where the window shows no screen; a screenshot too where the tree gives no size.
    std::optional<QByteArray> png;
    if (!screen || points.isEmpty()) {
        try {
            png = co_await Simctl::screenshot(simulators, device.udid);
        } catch (const Failure& failure) {
            target.problem = QStringLiteral("Couldn\u2019t capture the simulator: ") + failure.description();
            co_return target;
        }
        const std::optional<QSize> pixels = Simctl::pixelSize(*png);
        if (!pixels) {
            target.problem = QStringLiteral("Couldn\u2019t capture the simulator: Unreadable screenshot");
            co_return target;
        }
        if (points.isEmpty())
            points = DeviceMapping(QRectF(QPointF(), QSizeF(*pixels)), QSizeF(*pixels), device.name).size;
    }
    if (!screen) {
        target.still = std::make_shared<const DeviceStill>(DeviceStill{device, *png, points});
        target.canvas = true;
        target.screen = fit(points, area(window));
    }
    target.problem = read.problem;
    if (read.tree && read.tree->bare()) {
        target.bare = device;
    } else if (read.tree) {
        target.source = TargetScreen::Source::Device;
        target.elements = ElementSources::snapshot(*read.tree, points);
    }
    co_return target;
}

} // namespace TargetScreens
