// Measures the panel controller and the pick overlay against the stand-in simulator on a test
// desktop: the follow loop's processor time with the desktop still, the time from a move of the
// device window to the panel's new position, the cost of one hover (hit test and redraw), and, with
// the stand-in stopped (as a Simulator paused in a debugger), how long the UI thread takes to answer
// while the mouse moves over the overlay, and how soon the hit test works once it answers again.
// Run through bench/simulator/panel.sh, which provides the desktop.
//
//   bench_panelcontroller [--seconds N] [--moves N] [--hovers N] [--stopped N]

#include "foundation/Settings.h"
#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"
#include "simulator/SimulatorPanelController.h"
#include "simulator/SimulatorWindow.h"
#include "support/StandinSimulator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

QTextStream out(stdout);

void report(const QString& what, std::vector<double> ms) {
    if (ms.empty()) {
        out << what << ": no samples\n";
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, size_t(q * double(ms.size() - 1) + 0.5))];
    };
    out << QStringLiteral("%1  n=%2  median %3 ms  p95 %4 ms  max %5 ms\n")
               .arg(what, -46)
               .arg(ms.size(), 4)
               .arg(at(0.5), 8, 'f', 2)
               .arg(at(0.95), 8, 'f', 2)
               .arg(ms.back(), 8, 'f', 2);
    out.flush();
}

// The event loop alone for a while; unlike QTest::qWait, which wakes every 10 ms.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User and system time of another process, from /proc.
double processorSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// The panel model's side as the controller sees it, doing nothing.
class QuietModel final : public PanelModelInput {
public:
    void setController(PanelControl*) override {}
    void setTrusted(bool) override {}
    void setEscapeOnlyHere(bool) override {}
    void setVisible(bool) override {}
    void setDeviceTitle(const QString&) override {}
    void setPicking(bool) override {}
    void setHighlighted(const std::optional<QString>&) override {}
    void select(const std::vector<PickResult>&) override {}
    void startPolling() override {}
};

// Moves another application's window the way a person's drag ends up, and reads where windows are.
class Desktop {
public:
    Desktop() : m_connection(xcb_connect(nullptr, nullptr)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~Desktop() { xcb_disconnect(m_connection); }

    void move(quint32 window, QPoint to) {
        const quint32 values[] = {quint32(to.x()), quint32(to.y())};
        xcb_configure_window(m_connection, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        xcb_flush(m_connection);
    }
    // The window's top-left corner in root coordinates.
    QPoint position(quint32 window) {
        auto* reply = xcb_translate_coordinates_reply(
            m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr);
        const QPoint at = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint();
        free(reply);
        return at;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Length of the idle measurement."),
                      QStringLiteral("N"), QStringLiteral("60")});
    parser.addOption({QStringLiteral("moves"), QStringLiteral("Window moves to time."), QStringLiteral("N"),
                      QStringLiteral("40")});
    parser.addOption({QStringLiteral("hovers"), QStringLiteral("Hovers to time."), QStringLiteral("N"),
                      QStringLiteral("400")});
    parser.addOption({QStringLiteral("stopped"), QStringLiteral("Seconds with the stand-in stopped."),
                      QStringLiteral("N"), QStringLiteral("4")});
    parser.process(application);
    const int seconds = parser.value(QStringLiteral("seconds")).toInt();
    const int moves = parser.value(QStringLiteral("moves")).toInt();
    const int hovers = parser.value(QStringLiteral("hovers")).toInt();
    const int stopped = parser.value(QStringLiteral("stopped")).toInt();

    StandinSimulator standin;
    if (!standin.start({QStringLiteral("--position"), QStringLiteral("100,60")})) {
        out << "the stand-in did not start\n";
        return 1;
    }
    const quint32 device = standin.devices().value(0).window;
    auto targeting = platform::createTargeting();
    auto windows = platform::createWindowSystem();
    QTemporaryDir folder;
    Settings settings(folder.filePath(QStringLiteral("settings.json")));
    QuietModel model;
    SimulatorPanelController controller(targeting->ports(), *windows, settings, model, [](QWidget* parent) {
        auto* content = new QWidget(parent);
        content->setAutoFillBackground(true);
        content->setFixedSize(300, 360);
        return content;
    });
    out << "compositing manager: " << (windows->compositing() ? "yes" : "no") << "\n";

    // The same process before the loop runs: what the rest of it costs.
    {
        const double before = processorSeconds();
        QElapsedTimer wall;
        wall.start();
        idle(std::min(seconds, 10) * 1000);
        out << QStringLiteral("without the loop, %1 s: this process %2 % of a core\n")
                   .arg(double(wall.elapsed()) / 1000, 0, 'f', 1)
                   .arg(100 * (processorSeconds() - before) / (double(wall.elapsed()) / 1000), 0, 'f', 2);
        out.flush();
    }
    controller.start();
    if (!QTest::qWaitFor(
            [&] {
                return controller.window() && controller.window()->axWindow && controller.panel() &&
                       controller.panel()->isVisible();
            },
            20000)) {
        out << "the panel did not appear\n";
        return 1;
    }
    // Settled: the panel placed and stacked, the accessibility tree read once.
    QTest::qWait(2000);

    // One look at the desktop, timed on its own.
    std::vector<double> ticks;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer clock;
        clock.start();
        controller.tick();
        ticks.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    report(QStringLiteral("one tick, desktop still"), ticks);
    const auto timed = [](const QString& what, auto&& call) {
        std::vector<double> ms;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer clock;
            clock.start();
            call();
            ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        report(what, ms);
    };
    timed(QStringLiteral("  of which: the window list"), [&] { targeting->windows->onScreenWindows(); });
    timed(QStringLiteral("  of which: accessibility granted"),
          [&] { targeting->accessibility->isTrusted(); });
    timed(QStringLiteral("  of which: the device window"),
          [&] { SimulatorWindow::front(targeting->ports()); });

    // The follow loop over a still desktop.
    const double ownBefore = processorSeconds();
    const double standinBefore = processorSeconds(standin.pid());
    int loops = 0;
    QObject::connect(&controller, &SimulatorPanelController::ticked, [&] { ++loops; });
    QElapsedTimer wall;
    wall.start();
    idle(seconds * 1000);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double own = processorSeconds() - ownBefore;
    const double standinTime = processorSeconds(standin.pid()) - standinBefore;
    out << QStringLiteral(
               "follow loop, %1 s still: %2 ticks, this process %3 % of a core, the stand-in %4 %\n")
               .arg(elapsed, 0, 'f', 1)
               .arg(loops)
               .arg(100 * own / elapsed, 0, 'f', 2)
               .arg(100 * standinTime / elapsed, 0, 'f', 2);
    out.flush();

    // From a move of the device window to the panel's new position.
    Desktop desktop;
    std::vector<double> requested;
    std::vector<double> placed;
    const quint32 panel = quint32(controller.panel()->winId());
    for (int i = 0; i < moves; ++i) {
        // Any phase of the loop's interval.
        QTest::qWait(50 + QRandomGenerator::global()->bounded(100));
        const QRectF before = controller.window()->frame;
        const QPoint from = desktop.position(device);
        const QPoint to(100 + (i % 2) * 300 + QRandomGenerator::global()->bounded(40), 60 + (i % 3) * 40);
        desktop.move(device, to);
        QElapsedTimer clock;
        clock.start();
        // The window manager has moved it once the client window is elsewhere.
        while (desktop.position(device) == from && clock.elapsed() < 2000)
            ;
        clock.start();
        double asked = -1;
        while (clock.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const auto window = controller.window();
            if (!window || window->frame == before)
                continue;
            const QPoint expected(int(window->frame.right()) + 8, int(window->frame.top()));
            if (asked < 0 && controller.panel()->pos() == expected)
                asked = double(clock.nsecsElapsed()) / 1e6;
            if (asked >= 0 && desktop.position(panel) == expected)
                break;
        }
        requested.push_back(asked);
        placed.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    report(QStringLiteral("window moved -> panel asked to move"), requested);
    report(QStringLiteral("window moved -> panel at its new position"), placed);

    // One hover: hit test and redraw, over the controls and the background of the device screen.
    QTest::qWait(500);
    controller.togglePick();
    if (!controller.overlay()) {
        out << "targeting did not start\n";
        return 1;
    }
    QTest::qWait(500);
    PickOverlay* overlay = controller.overlay();
    const QRectF screen = overlay->screen();
    std::vector<double> hovering;
    for (int i = 0; i < hovers; ++i) {
        // A zigzag over the whole screen, as a mouse crosses it.
        const double x = screen.left() + 5 + std::fmod(i * 7.0, screen.width() - 10);
        const double y = screen.top() + 5 + std::fmod(i * 3.0, screen.height() - 10);
        QElapsedTimer clock;
        clock.start();
        overlay->hover(QPointF(x, y));
        if (overlay->window()->isVisible())
            overlay->window()->repaint();
        hovering.push_back(double(clock.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    report(QStringLiteral("hover (hit test and redraw)"), hovering);

    // The stand-in stopped while the mouse crosses the overlay: a request to the UI thread from
    // another thread every 100 ms, timed until the UI thread has answered it.
    kill(pid_t(standin.pid()), SIGSTOP);
    QTimer mouse;
    int step = 0;
    QObject::connect(&mouse, &QTimer::timeout, [&] {
        if (PickOverlay* over = controller.overlay()) {
            ++step;
            over->hoverSoon(QPointF(screen.left() + 5 + std::fmod(step * 7.0, screen.width() - 10),
                                    screen.top() + 5 + std::fmod(step * 3.0, screen.height() - 10)));
        }
    });
    mouse.start(20);
    std::vector<double> answers;
    std::atomic<bool> asking = true;
    std::atomic<bool> done = false;
    std::thread requests([&] {
        while (asking) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            QElapsedTimer clock;
            clock.start();
            QMetaObject::invokeMethod(
                &application, [] {}, Qt::BlockingQueuedConnection);
            answers.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        done = true;
    });
    idle(stopped * 1000);
    asking = false;
    // Its last request waits for the UI thread.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    requests.join();
    mouse.stop();
    report(QStringLiteral("stand-in stopped: UI thread answers"), answers);
    out << QStringLiteral("  of which over 50 ms: %1\n")
               .arg(std::count_if(answers.begin(), answers.end(), [](double ms) { return ms > 50; }));

    // Going on again: how soon the hit test finds a control.
    const QPointF save = screen.topLeft() + QPointF(150, 398);
    kill(pid_t(standin.pid()), SIGCONT);
    QElapsedTimer recovery;
    recovery.start();
    while (recovery.elapsed() < 10000) {
        if (PickOverlay* over = controller.overlay()) {
            over->hover(save);
            if (over->view()->label == std::optional<QString>(QStringLiteral("saveButton")))
                break;
        }
        idle(10);
    }
    out << QStringLiteral("stand-in going on again -> hit test answers: %1 ms\n")
               .arg(double(recovery.nsecsElapsed()) / 1e6, 0, 'f', 0);
    out.flush();
    controller.cancelPick();
    return 0;
}
