// Prints:
//  - the time from one model change to the panel repainted on screen (the model's signal, the
//    views' update, layout, paint and flush), median and 95th percentile, for a status that stays
//    in the same layout and for one that changes the panel's size;
//  - the panel's CPU use over a stretch of idle time (60 s unless given in seconds as the first
//    argument) while a report is being worked on, and, for comparison, while one waits in review.
// Run it on the platform to measure: offscreen, or xcb under Xvfb (with a compositing manager
// for the translucent panel).
#include "foundation/Settings.h"
#include "panel/SimulatorPanelView.h"
#include "panel/VisualEffect.h"
#include "support/DrivenPanelModel.h"
#include "support/FakeSimulatorTool.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Counts the window's repaints: each UpdateRequest is one pass of layout, paint and flush.
class RepaintCounter : public QObject {
public:
    explicit RepaintCounter(QWidget* window) { window->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest)
            ++count;
        return false;
    }
};

TrackedReport report(const QString& status) {
    return TrackedReport{QStringLiteral("r-1"), QStringLiteral("Make the Save button use the brand colour"),
                         QDateTime::currentDateTimeUtc().addSecs(-12), status, nullptr};
}

struct Percentiles {
    double median;
    double p95;
};

Percentiles percentiles(QList<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[qsizetype(values.size() * 0.95)]};
}

// One model change, then the event loop until the window's repaint has been handled.
double changeToScreen(DrivenPanelModel& model, RepaintCounter& repaints, const QString& status) {
    const int before = repaints.count;
    QElapsedTimer timer;
    timer.start();
    model.setStatus(QStringLiteral("r-1"), status);
    while (repaints.count == before)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return double(timer.nsecsElapsed()) / 1e6;
}

void measureChanges(DrivenPanelModel& model, RepaintCounter& repaints, const QString& a, const QString& b,
                    const QString& what) {
    QList<double> times;
    for (int i = 0; i < 400; ++i) {
        const double ms = changeToScreen(model, repaints, i % 2 ? a : b);
        if (i >= 20) // the first passes warm caches
            times.append(ms);
    }
    const Percentiles p = percentiles(times);
    say(QStringLiteral("model change to screen, %1: median %2 ms, 95th percentile %3 ms")
            .arg(what)
            .arg(p.median, 0, 'f', 3)
            .arg(p.p95, 0, 'f', 3));
}

// The event loop left alone, as the app's own is (QTest::qWait would poll every 10 ms).
void idle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void measureIdle(DrivenPanelModel& model, RepaintCounter& repaints, const QString& status, int seconds) {
    model.setReport(report(status));
    idle(500);
    const int paintsBefore = repaints.count;
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    idle(seconds * 1000);
    const double cpu = processCpuSeconds() - cpuBefore;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    say(QStringLiteral("idle over %1 s with a report in \"%2\": %3 % of a core, %4 repaints per second")
            .arg(elapsed, 0, 'f', 1)
            .arg(status)
            .arg(100.0 * cpu / elapsed, 0, 'f', 3)
            .arg((repaints.count - paintsBefore) / elapsed, 0, 'f', 1));
}

} // namespace

int main(int argc, char* argv[]) {
    // The offscreen platform says at every resize that it has no window masks; that is no news.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (!message.startsWith(QLatin1String("This plugin does not support")))
            std::fprintf(stderr, "%s%s\n", type >= QtWarningMsg ? "warning: " : "", qPrintable(message));
    });
    QApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    say(QStringLiteral("platform: %1").arg(QGuiApplication::platformName()));

    QTemporaryDir dir;
    Settings settings(dir.filePath(QStringLiteral("settings.json")));
    FakeSimulatorTool tool;
    DrivenPanelModel model(tool, settings);
    model.setTrusted(true);
    model.setDeviceTitle(PanelStates::deviceTitle);
    model.setAutoDispatch(true);
    model.setAutoRelaunch(true);
    model.setReport(report(QStringLiteral("fixing")));

    SimulatorPanelView view(model, settings, true);
    view.setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    const bool translucent = view.background()->isTranslucent();
    view.setAttribute(Qt::WA_TranslucentBackground, translucent);
    view.background()->setShapesWindow(true);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        say(QStringLiteral("the panel did not show"));
        return 1;
    }
    say(QStringLiteral("translucent: %1").arg(translucent ? "yes" : "no"));
    RepaintCounter repaints(&view);
    idle(300);

    measureChanges(model, repaints, QStringLiteral("fixing"), QStringLiteral("checking"), "same layout");
    measureChanges(model, repaints, QStringLiteral("rebuilding"), QStringLiteral("review"),
                   "new layout and size");
    measureIdle(model, repaints, QStringLiteral("fixing"), seconds);
    measureIdle(model, repaints, QStringLiteral("review"), std::min(seconds, 20));
    return 0;
}
