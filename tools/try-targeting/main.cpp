// Prints once a second what the targeting code sees of the Simulator: the front device window, its
// device screen and the element under the mouse. Move the mouse over the Simulator and watch.
//
//   tallyrig-try-targeting [--once] [--interval MILLISECONDS] [--request-access]

#include "platform/ChildProcesses.h"
#include "platform/ProcessSimulatorTool.h"
#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "simulator/ElementPicker.h"
#include "simulator/Simctl.h"
#include "simulator/SimulatorWindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

QString rect(const QRectF& r) {
    return QStringLiteral("(%1, %2, %3 × %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString quoted(const std::optional<QString>& text) {
    return text ? QStringLiteral("“%1”").arg(*text) : QStringLiteral("none");
}

QString milliseconds(const QElapsedTimer& clock) {
    return QStringLiteral("%1 ms").arg(double(clock.nsecsElapsed()) / 1e6, 0, 'f', 2);
}

// Which booted device the window is, and its screenshot's size, through the simulator tool.
QCoro::Task<> describeDevice(SimulatorWindow window, QTextStream& out) {
    const auto children = platform::createChildProcesses();
    platform::ProcessSimulatorTool tool(*children);
    try {
        const Simctl::Device device = co_await Simctl::device(tool, window.deviceName(), window.runtime());
        out << "Simctl::device: “" << device.name << "”, udid " << device.udid << ", runtime "
            << device.runtime << '\n';
        const QByteArray png = co_await Simctl::screenshot(tool, device.udid);
        const QImage image = QImage::fromData(png, "PNG");
        out << "Simctl::screenshot: " << png.size() << " bytes of PNG, " << image.width() << " × "
            << image.height() << " pixels\n";
    } catch (const std::exception& error) {
        out << "simulator tool: " << error.what() << '\n';
    }
    out.flush();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows what Tallyrig's targeting code finds of the Simulator."));
    parser.addHelpOption();
    const QCommandLineOption once(QStringLiteral("once"), QStringLiteral("Print once and exit."));
    const QCommandLineOption interval(QStringLiteral("interval"), QStringLiteral("Time between looks."),
                                      QStringLiteral("milliseconds"), QStringLiteral("1000"));
    const QCommandLineOption requestAccess(
        QStringLiteral("request-access"),
        QStringLiteral("Ask for accessibility access, say whether it is granted, "
                       "and exit (status 0 when granted)."));
    parser.addOptions({once, interval, requestAccess});
    parser.process(app);

    QTextStream out(stdout);
    const auto targeting = platform::createTargeting();
    if (parser.isSet(requestAccess)) {
        const bool granted = targeting->accessibility->requestTrust();
        out << (granted ? "Accessibility: granted.\n" : "Accessibility: not granted.\n");
        return granted ? 0 : 1;
    }
    for (const QString& problem : std::as_const(targeting->problems))
        out << "Missing: " << problem << '\n';
    if (!targeting->problems.isEmpty())
        out << "(scripts/with-desktop.sh provides a desktop with everything needed.)\n";
    out.flush();
    const auto windows = platform::createWindowSystem();

    std::optional<QCoro::Task<>> description;
    int tick = 0;
    const auto look = [&] {
        out << "— look " << ++tick << " —\n";
        QElapsedTimer clock;
        clock.start();
        const bool trusted = targeting->accessibility->isTrusted();
        if (!trusted)
            out << "accessibility: not granted\n";
        clock.restart();
        const std::optional<SimulatorWindow> window = SimulatorWindow::front(targeting->ports());
        const QString frontTime = milliseconds(clock);
        if (!window) {
            out << "front(): none (" << frontTime << ")\n";
            out.flush();
            return;
        }
        out << "front(): pid " << window->pid << ", window 0x"
            << QString::number(window->number.value_or(0), 16) << ", frame " << rect(window->frame)
            << ", title “" << window->title << "” (device “" << window->deviceName() << "”, runtime "
            << quoted(window->runtime()) << "), " << (window->axWindow ? "with" : "without")
            << " accessibility (" << frontTime << ")\n";
        if (!description)
            description = describeDevice(*window, out);

        clock.restart();
        const std::optional<QRectF> screen = window->screenRect();
        out << "screenRect(): " << (screen ? rect(*screen) : QStringLiteral("none, the frame stands in"))
            << " (" << milliseconds(clock) << ")\n";

        const std::optional<QPointF> pointer = windows->pointer();
        if (!pointer) {
            out << "mouse: unknown\n";
            out.flush();
            return;
        }
        clock.restart();
        const PickResult pick = ElementPicker::element(*targeting->accessibility, *pointer, *window,
                                                       screen.value_or(window->frame));
        out << "at the mouse (" << pointer->x() << ", " << pointer->y() << "): " << pick.role
            << ", identifier " << quoted(pick.identifier) << ", label " << quoted(pick.label) << ", frame "
            << (pick.frame ? rect(*pick.frame) : QStringLiteral("none")) << " (" << milliseconds(clock)
            << ")\n";
        out.flush();
    };

    look();
    if (parser.isSet(once)) {
        if (description)
            QCoro::waitFor(std::move(*description));
        return 0;
    }
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, look);
    timer.start(std::max(50, parser.value(interval).toInt()));
    return app.exec();
}
