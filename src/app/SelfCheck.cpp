#include "app/SelfCheck.h"

#include "foundation/Failure.h"
#include "simulator/FloatingPanel.h"
#include "simulator/Simctl.h"
#include "simulator/SimulatorWindow.h"
#include "simulator/TargetScreen.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <qcoro/qcorotimer.h>

namespace SelfCheck {

namespace {

QString rect(const QRectF& r) {
    return QStringLiteral("x %1, y %2, %3 \u00d7 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

const char* sourceName(TargetScreen::Source source) {
    switch (source) {
    case TargetScreen::Source::Window:
        return "the window's own tree";
    case TargetScreen::Source::Device:
        return "the simulator's own tree (AXe)";
    case TargetScreen::Source::None:
        break;
    }
    return "none";
}

} // namespace

QCoro::Task<int> run(platform::Platform& ports, QTextStream& out) {
    int failed = 0;
    const auto fail = [&](const QString& line) {
        ++failed;
        out << "FAIL " << line << Qt::endl;
    };
    out << "Tallyrig " << QCoreApplication::applicationVersion() << " self-check" << Qt::endl;
    if (!ports.targeting || !ports.windowSystem) {
        fail(QStringLiteral("targeting: this platform has no targeting ports"));
        co_return 1;
    }
    for (const QString& problem : std::as_const(ports.targeting->problems))
        out << "note " << problem << Qt::endl;
    const platform::TargetingPorts targeting = ports.targeting->ports();

    const bool trusted = targeting.accessibility.isTrusted();
    if (trusted)
        out << "ok   accessibility: granted" << Qt::endl;
    else
        fail(QStringLiteral("accessibility: not granted"));

    const std::optional<SimulatorWindow> window = SimulatorWindow::front(targeting);
    if (!window) {
        fail(QStringLiteral("windows: no Simulator or Device Hub device window on screen"));
    } else {
        out << "ok   window: \u201c" << window->title << "\u201d, pid " << window->pid << ", number "
            << window->number.value_or(0) << ", bounds " << rect(window->frame)
            << (window->axWindow ? ", with a tree" : ", without a tree") << Qt::endl;
        std::optional<Simctl::Device> device;
        try {
            device = co_await Simctl::device(*ports.simulatorTool, window->deviceName(), window->runtime());
            out << "ok   device: " << device->name << ", udid " << device->udid << Qt::endl;
        } catch (const Failure& failure) {
            fail(QStringLiteral("device: ") + failure.description());
        }

        std::optional<TargetScreen> target = TargetScreens::fromWindow(*window, targeting.accessibility);
        if (!target)
            target = co_await TargetScreens::fromDevice(*window, window->screenRect(), *ports.simulatorTool,
                                                        ports.elementTool.get());
        out << (target->source == TargetScreen::Source::None ? "FAIL" : "ok  ")
            << " elements: " << sourceName(target->source) << ", screen " << rect(target->screen)
            << (target->canvas ? " (on a canvas)" : "") << Qt::endl;
        if (target->problem)
            out << "note " << *target->problem << Qt::endl;
        if (target->source == TargetScreen::Source::None)
            ++failed;

        QElapsedTimer clock;
        clock.start();
        const PickResult hit = target->elements->element(target->screen.center(), *window, target->screen);
        const qint64 hitMs = clock.elapsed();
        // What lies there is the app's business; that the hit test answers is the check.
        out << "ok   hit at the centre: " << hit.role
            << (hit.identifier ? QStringLiteral(" \u201c%1\u201d").arg(*hit.identifier) : QString())
            << (hit.label ? QStringLiteral(" %1").arg(*hit.label) : QString()) << " in " << hitMs << " ms"
            << Qt::endl;

        if (device) {
            clock.restart();
            try {
                const QByteArray png = co_await Simctl::screenshot(*ports.simulatorTool, device->udid);
                const std::optional<QSize> size = Simctl::pixelSize(png);
                if (!size)
                    throw Failure(QStringLiteral("not a PNG image"));
                out << "ok   screenshot: " << size->width() << " \u00d7 " << size->height() << " pixels in "
                    << clock.elapsed() << " ms" << Qt::endl;
            } catch (const Failure& failure) {
                fail(QStringLiteral("screenshot: ") + failure.description());
            }
        }
    }

    // The panel as the window system makes it.
    FloatingPanel panel(*ports.windowSystem, ports.windowSystem->compositing());
    panel.setGeometry(QRect(QPoint(40, 40), FloatingPanel::initialSize));
    panel.winId();
    ports.windowSystem->setAuxiliary(*panel.windowHandle());
    panel.show();
    co_await QCoro::sleepFor(std::chrono::milliseconds(300));
    const QString made = ports.windowSystem->describe(*panel.windowHandle());
    out << (made.isEmpty() ? "note" : "ok  ")
        << " panel: " << (made.isEmpty() ? QStringLiteral("(not told)") : made) << ", number "
        << ports.windowSystem->number(*panel.windowHandle()) << Qt::endl;
    panel.hide();

    out << (failed ? QStringLiteral("%1 check(s) failed").arg(failed) : QStringLiteral("every check passed"))
        << Qt::endl;
    co_return failed ? 1 : 0;
}

} // namespace SelfCheck
