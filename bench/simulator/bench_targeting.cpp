// Measures the targeting code against a running Simulator: finding the device window, its screen,
// the hit test and the simulator tool; and the same hit test over a web page in the browsers whose
// process ids --page names. Run through bench/simulator/run.sh, which provides the desktop.
//
//   bench_targeting [--calls N] [--tool-calls N] [--page PID]… [--page-step POINTS]

#include "platform/ChildProcesses.h"
#include "platform/ProcessSimulatorTool.h"
#include "platform/Targeting.h"
#include "simulator/ElementPicker.h"
#include "simulator/Simctl.h"
#include "simulator/SimulatorWindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QImage>
#include <QTextStream>
#include <qcoro/qcorotask.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <vector>
#include <xcb/xcb.h>

namespace {

QTextStream out(stdout);

struct Samples {
    std::vector<double> ms;

    void report(const QString& what) {
        if (ms.empty()) {
            out << what << ": no samples\n";
            return;
        }
        std::sort(ms.begin(), ms.end());
        const auto at = [&](double q) {
            return ms[std::min(ms.size() - 1, size_t(q * double(ms.size() - 1) + 0.5))];
        };
        double sum = 0;
        for (double v : ms)
            sum += v;
        out << QStringLiteral("%1  n=%2  median %3 ms  p99 %4 ms  mean %5 ms  max %6 ms\n")
                   .arg(what, -44)
                   .arg(ms.size(), 5)
                   .arg(at(0.5), 7, 'f', 3)
                   .arg(at(0.99), 7, 'f', 3)
                   .arg(sum / double(ms.size()), 7, 'f', 3)
                   .arg(ms.back(), 7, 'f', 3);
        out.flush();
    }
};

template <class F> Samples measure(int calls, F&& call) {
    Samples samples;
    samples.ms.reserve(size_t(calls));
    QElapsedTimer clock;
    for (int i = 0; i < calls; ++i) {
        clock.start();
        call();
        samples.ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return samples;
}

// Runs a task to its end in a nested loop; false when it threw.
template <class T> bool finish(QCoro::Task<T> task, T* into) {
    bool ok = false;
    auto body = [&](QCoro::Task<T> task) -> QCoro::Task<> {
        try {
            *into = co_await std::move(task);
            ok = true;
        } catch (const std::exception& error) {
            out << "  failed: " << error.what() << '\n';
        }
    };
    QCoro::waitFor(body(std::move(task)));
    return ok;
}

// The page of a browser window: the frame of its first web document, found breadth first.
std::optional<QRectF> pageFrame(const platform::AXElementRef& application) {
    std::deque<std::pair<platform::AXElementRef, int>> queue{{application, 0}};
    int visited = 0;
    while (!queue.empty() && ++visited < 2000) {
        const auto [element, depth] = queue.front();
        queue.pop_front();
        if (depth > 0 &&
            AX::value<QString>(*element, QStringLiteral("AXRole")) == QLatin1String("AXDocumentWeb"))
            return AX::frame(*element);
        const char* children = depth == 0 ? "AXWindows" : "AXChildren";
        for (const auto& child :
             AX::value<QList<platform::AXElementRef>>(*element, QString::fromLatin1(children))
                 .value_or(QList<platform::AXElementRef>{})) {
            if (child)
                queue.emplace_back(child, depth + 1);
        }
    }
    return std::nullopt;
}

// The hit test over a browser's page, as over the device screen: every `step` points.
void measurePage(const platform::TargetingPorts& ports, qint32 pid, double step) {
    ports.accessibility.askToPublish(pid, AX::messagingTimeout);
    const auto application = ports.accessibility.application(pid, AX::messagingTimeout);
    const auto title =
        application ? AX::value<QString>(*application, QStringLiteral("AXTitle")) : std::nullopt;
    std::optional<QRectF> page;
    QElapsedTimer waited;
    waited.start();
    while (!(page = application ? pageFrame(application) : std::nullopt) && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 500);
    out << "\nHit test over the page in " << title.value_or(QStringLiteral("process %1").arg(pid)) << '\n';
    if (!page) {
        out << "  no page found\n";
        return;
    }
    SimulatorWindow window;
    window.pid = pid;
    window.frame = *page;
    const auto pass = [&](Samples* samples, int* elements) {
        for (double y = page->top() + 1; y < page->bottom(); y += step) {
            for (double x = page->left() + 1; x < page->right(); x += step) {
                QElapsedTimer clock;
                clock.start();
                const PickResult pick =
                    ElementPicker::element(ports.accessibility, QPointF(x, y), window, *page);
                if (samples)
                    samples->ms.push_back(double(clock.nsecsElapsed()) / 1e6);
                if (elements && pick.role != QLatin1String("DocumentWeb"))
                    ++*elements;
            }
        }
    };
    // Firefox fills in a page's bounds when first asked.
    pass(nullptr, nullptr);
    Samples hits;
    int elements = 0;
    pass(&hits, &elements);
    const size_t points = hits.ms.size();
    hits.report(QStringLiteral("hit test per mouse position"));
    out << "  " << elements << " of " << points << " points (every " << step
        << ") on an element below the document, on a " << page->width() << " × " << page->height()
        << " page\n";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption callsOption(QStringLiteral("calls"), QStringLiteral("Calls per measurement."),
                                         QStringLiteral("n"), QStringLiteral("2000"));
    const QCommandLineOption toolOption(QStringLiteral("tool-calls"),
                                        QStringLiteral("Runs of the simulator tool."), QStringLiteral("n"),
                                        QStringLiteral("20"));
    const QCommandLineOption pageOption(QStringLiteral("page"),
                                        QStringLiteral("A browser's process showing a page to hover over."),
                                        QStringLiteral("pid"));
    const QCommandLineOption stepOption(QStringLiteral("page-step"),
                                        QStringLiteral("Points between mouse positions over a page."),
                                        QStringLiteral("points"), QStringLiteral("12"));
    parser.addOptions({callsOption, toolOption, pageOption, stepOption});
    parser.process(app);
    const int calls = std::max(10, parser.value(callsOption).toInt());
    const int toolCalls = std::max(1, parser.value(toolOption).toInt());

    const auto targeting = platform::createTargeting();
    for (const QString& problem : std::as_const(targeting->problems))
        out << "missing: " << problem << '\n';
    const platform::TargetingPorts ports = targeting->ports();

    const auto window = SimulatorWindow::front(ports);
    if (!window || !window->axWindow) {
        out << "No Simulator window with accessibility found; run through bench/simulator/run.sh.\n";
        return 1;
    }
    const auto entries = ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{});
    out << "desktop: " << entries.size() << " windows on screen; Simulator window “" << window->title
        << "”\n\n";

    out << "Unit costs\n";
    {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        measure(calls, [&] {
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        }).report(QStringLiteral("X11 round trip"));
        xcb_disconnect(c);
        const QDBusMessage getId = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
        QDBusConnection session = QDBusConnection::sessionBus();
        measure(calls, [&] {
            session.call(getId, QDBus::Block, 1000);
        }).report(QStringLiteral("D-Bus round trip (session bus daemon)"));
    }

    out << "\nfront() and its parts\n";
    measure(calls, [&] { ports.windows.onScreenWindows(); }).report(QStringLiteral("window list"));
    std::vector<qint32> owners;
    for (const auto& entry : entries) {
        if (entry.ownerPid && std::find(owners.begin(), owners.end(), *entry.ownerPid) == owners.end())
            owners.push_back(*entry.ownerPid);
    }
    measure(calls, [&] {
        for (qint32 pid : owners)
            ports.applications.bundleIdentifier(pid);
    }).report(QStringLiteral("identifiers of all %1 window owners").arg(owners.size()));
    measure(calls, [&] {
        ports.applications.isHidden(window->pid);
    }).report(QStringLiteral("Simulator hidden?"));
    measure(calls, [&] { ports.accessibility.isTrusted(); }).report(QStringLiteral("accessibility granted?"));
    measure(calls, [&] {
        ports.accessibility.application(window->pid, AX::messagingTimeout);
    }).report(QStringLiteral("application element"));
    measure(calls, [&] {
        const auto application = ports.accessibility.application(window->pid, AX::messagingTimeout);
        if (application)
            application->attribute(QStringLiteral("AXWindows"));
    }).report(QStringLiteral("application element + AXWindows"));
    int found = 0;
    Samples front = measure(calls, [&] { found += SimulatorWindow::front(ports).has_value(); });
    front.report(QStringLiteral("front()"));
    if (found != calls)
        out << "  front() found the window " << found << " times of " << calls << '\n';

    out << "\nscreenRect()\n";
    std::optional<QRectF> screen;
    measure(std::max(10, calls / 10), [&] {
        screen = window->screenRect();
    }).report(QStringLiteral("screenRect()"));
    if (!screen) {
        out << "  no device screen found\n";
        return 1;
    }

    out << "\nHit test over the device screen, every 6 points\n";
    Samples hits;
    int elements = 0;
    for (double y = screen->top() + 1; y < screen->bottom(); y += 6) {
        for (double x = screen->left() + 1; x < screen->right(); x += 6) {
            QElapsedTimer clock;
            clock.start();
            const PickResult pick =
                ElementPicker::element(ports.accessibility, QPointF(x, y), *window, *screen);
            hits.ms.push_back(double(clock.nsecsElapsed()) / 1e6);
            elements += pick.frame.has_value();
        }
    }
    const size_t points = hits.ms.size();
    hits.report(QStringLiteral("hit test per mouse position"));
    out << "  " << elements << " of " << points
        << " points on an element, the rest on the screen's background\n";
    measure(calls, [&] {
        ElementPicker::element(ports.accessibility, screen->topLeft() - QPointF(5, 5), *window, *screen);
    }).report(QStringLiteral("hit test outside the screen"));

    out << "\nSimulator tool (xcrun first on PATH), end to end\n";
    const auto children = platform::createChildProcesses();
    platform::ProcessSimulatorTool tool(*children);
    Simctl::Device device;
    Samples listing = measure(
        toolCalls, [&] { finish(Simctl::device(tool, window->deviceName(), window->runtime()), &device); });
    listing.report(QStringLiteral("Simctl::device"));
    out << "  device " << device.name << " " << device.udid << " under " << device.runtime << '\n';
    QByteArray png;
    measure(toolCalls, [&] {
        finish(Simctl::screenshot(tool, device.udid), &png);
    }).report(QStringLiteral("Simctl::screenshot"));
    const QImage image = QImage::fromData(png, "PNG");
    out << "  " << png.size() << " bytes, " << image.width() << " × " << image.height() << " pixels for a "
        << screen->width() << " × " << screen->height() << " point screen\n";

    const double step = std::max(1.0, parser.value(stepOption).toDouble());
    for (const QString& pid : parser.values(pageOption))
        measurePage(ports, qint32(pid.toInt()), step);
    return 0;
}
