// Saves a PNG of the Simulator panel in each of its main states, light and dark, over a desktop
// backdrop: hint, targeting, capturing, the composer fresh and with the preview open, error, working, review,
// committed, failed, offline and the access callout; and the hint once more as an uncomposited desktop shows
// it. Run it through scripts/screenshots.sh, which provides the display and a compositing manager.
#include "DarkPalette.h"
#include "foundation/Settings.h"
#include "panel/SimulatorPanelView.h"
#include "panel/VisualEffect.h"
#include "platform/WindowSystem.h"
#include "support/DrivenPanelModel.h"
#include "support/FakeSimulatorTool.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// Something for a translucent panel to sit on: a soft desktop gradient with a window edge.
class Backdrop : public QWidget {
public:
    Backdrop() { setWindowFlags(Qt::FramelessWindowHint); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0, QColor(88, 120, 180));
        gradient.setColorAt(0.55, QColor(150, 110, 170));
        gradient.setColorAt(1, QColor(230, 150, 110));
        painter.fillRect(rect(), gradient);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(20, 20, 22));
        painter.drawRoundedRect(QRectF(-40, 40, 190, 560), 36, 36);
        painter.setBrush(QColor(250, 250, 252));
        painter.drawRoundedRect(QRectF(-30, 50, 170, 540), 28, 28);
    }
};

const char* packet = R"({
  "category": "color",
  "comment": "Make the Save button use the brand colour",
  "device": "iPhone 15 Pro",
  "element": {
    "frame": { "height": 66, "width": 150, "x": 15, "y": 15 },
    "identifier": "saveButton",
    "name": "saveButton",
    "type": "Button"
  },
  "platform": "ios",
  "screen": "iPhone 15 Pro – iOS 17.2",
  "viewport": "393x852"
})";

struct Shot {
    const char* name;
    std::function<void(DrivenPanelModel&)> state;
    bool opaque = false;
};

TrackedReport report(const QString& status, int secondsAgo = 42) {
    return TrackedReport{QStringLiteral("r-1042"),
                         QStringLiteral("Make the Save button use the brand colour"),
                         QDateTime::currentDateTimeUtc().addSecs(-secondsAgo), status, nullptr};
}

void known(DrivenPanelModel& model) {
    model.setTrusted(true);
    model.setAutoDispatch(true);
    model.setAutoRelaunch(false);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QString outputFolder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(outputFolder);
    QCursor::setPos(0, 0);
    const auto windows = platform::createWindowSystem();
    const bool compositing = windows && windows->compositing();
    qInfo("compositing: %s", compositing ? "yes" : "no");

    // The preview asks a bridge for the packet; this one answers like the reference bridge.
    TestHttpServer bridge([](const QByteArray&, const QString& path) {
        if (path.startsWith(QLatin1String("/packet")))
            return TestHttpServer::json(packet);
        return TestHttpServer::json(R"({"error":"Not here"})", 404);
    });
    bridge.listen();
    QTemporaryDir config;
    Settings settings(config.filePath(QStringLiteral("settings.json")));
    settings.setBridgePort(bridge.port());
    FakeSimulatorTool tool;

    const QList<Shot> shots{
        {"hint", known},
        {"picking",
         [](DrivenPanelModel& m) {
             known(m);
             m.setPicking(true);
         }},
        {"reading",
         [](DrivenPanelModel& m) {
             known(m);
             m.setPicking(true);
             m.setReading(true);
         }},
        {"offer",
         [](DrivenPanelModel& m) {
             known(m);
             m.setPicking(true);
             m.setOffer(TargetingOffer{
                 QStringLiteral(
                     "\u201ciPhone 17 Pro\u201d keeps its accessibility off, so its elements can\u2019t be "
                     "read. Turn it on? Tallyrig will set AccessibilityEnabled and "
                     "ApplicationAccessibilityEnabled in com.apple.Accessibility on that simulator."),
                 QStringLiteral("Turn On"), QStringLiteral("Not Now")});
         }},
        {"window-closed",
         [](DrivenPanelModel& m) {
             known(m);
             m.setFollowsWindow(true);
             m.setDeviceTitle(QStringLiteral("Widget Factory"));
             m.setOffer(TargetingOffer{QStringLiteral("The target window closed"),
                                       QStringLiteral("Target Window\u2026"),
                                       QStringLiteral("Follow the Simulator")});
         }},
        {"capturing",
         [](DrivenPanelModel& m) {
             known(m);
             m.setCapturing(true);
         }},
        {"composer",
         [](DrivenPanelModel& m) {
             known(m);
             m.setDraft(PanelStates::draft());
         }},
        {"composer-preview",
         [](DrivenPanelModel& m) {
             known(m);
             m.setDraft(PanelStates::draft());
             m.setComment(QStringLiteral("Make the Save button use the brand colour"));
             m.setCategory(QStringLiteral("color"));
             m.setShowContext(true);
         }},
        {"composer-sending",
         [](DrivenPanelModel& m) {
             known(m);
             m.setDraft(PanelStates::draft());
             m.setComment(QStringLiteral("Make the Save button use the brand colour"));
             m.setSending(true);
         }},
        {"composer-pins",
         [](DrivenPanelModel& m) {
             known(m);
             Draft draft = PanelStates::draft();
             PickResult total = draft.pick();
             total.identifier.reset();
             total.label = QStringLiteral("Total");
             total.role = QStringLiteral("StaticText");
             total.frame = QRectF(410, 300, 200, 20);
             total.point = QPointF(450, 310);
             PickResult spot =
                 PanelStates::draft(std::nullopt, std::nullopt, QStringLiteral("Screen")).pick();
             spot.point = QPointF(600, 600);
             draft.pins = {draft.pick(), total, spot};
             draft.png = PanelStates::png();
             m.setDraft(draft);
             m.setComment(QStringLiteral("Make these three line up"));
         }},
        {"composer-error",
         [](DrivenPanelModel& m) {
             known(m);
             m.setDraft(PanelStates::draft(std::nullopt, QStringLiteral("Continue to checkout and pay")));
             m.setComment(QStringLiteral("Too little room above the button"));
             m.setError(QStringLiteral("Could not connect to the server at 127.0.0.1:4747. The bridge may "
                                       "have stopped."));
         }},
        {"working",
         [](DrivenPanelModel& m) {
             known(m);
             m.setReport(report(QStringLiteral("fixing"), 61));
         }},
        {"review",
         [](DrivenPanelModel& m) {
             known(m);
             m.setReport(report(QStringLiteral("review")));
         }},
        {"review-compare",
         [&tool](DrivenPanelModel& m) {
             known(m);
             const QByteArray png = PanelStates::png();
             tool.setAnswer(FakeSimulatorTool::device(PanelStates::listing(), png));
             TrackedReport sent = report(QStringLiteral("review"));
             sent.sent = std::make_shared<const SentPicture>(
                 SentPicture{QStringLiteral("5A1B2C3D-0000-4000-8000-000000000001"), png,
                             QImage::fromData(png).scaledToHeight(360)});
             m.setReport(sent);
         }},
        {"review-compare-failed",
         [&tool](DrivenPanelModel& m) {
             known(m);
             tool.setAnswer({});
             TrackedReport sent = report(QStringLiteral("review"));
             sent.sent = std::make_shared<const SentPicture>(
                 SentPicture{QStringLiteral("5A1B2C3D-0000-4000-8000-000000000001"), PanelStates::png(), {}});
             m.setReport(sent);
         }},
        {"committed",
         [](DrivenPanelModel& m) {
             known(m);
             m.setReport(report(QStringLiteral("committed")));
         }},
        {"failed",
         [](DrivenPanelModel& m) {
             known(m);
             m.setReport(report(QStringLiteral("failed")));
         }},
        {"offline",
         [](DrivenPanelModel& m) {
             known(m);
             m.setOffline(true);
         }},
        {"access", [](DrivenPanelModel& m) { m.setTrusted(false); }},
        {"hint-uncomposited", known, true},
    };

    Backdrop backdrop;
    backdrop.setGeometry(0, 0, 560, 720);
    backdrop.show();
    if (!QTest::qWaitForWindowExposed(&backdrop))
        qWarning("the backdrop did not show");

    const QPalette light = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : light);
        for (const Shot& shot : shots) {
            DrivenPanelModel model(tool, settings);
            CountingPanelControl control;
            model.setController(&control);
            model.setDeviceTitle(PanelStates::deviceTitle);
            shot.state(model);
            const bool translucent = compositing && !shot.opaque;
            auto view = std::make_unique<SimulatorPanelView>(model, settings, true);
            view->setWindowFlags(Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint);
            view->setAttribute(Qt::WA_TranslucentBackground, translucent);
            view->background()->setTranslucent(translucent);
            view->background()->setShapesWindow(true);
            view->move(200, 40);
            view->show();
            view->activateWindow();
            if (!QTest::qWaitForWindowExposed(view.get()))
                qWarning("the panel did not show");
            // Long enough for the preview's 0.3 s refresh and its answer, and for the compositor.
            QTest::qWait(900);
            // A panel whose content grew after it showed may have been placed anew by the window
            // manager.
            if (view->pos() != QPoint(200, 40)) {
                view->move(200, 40);
                QTest::qWait(300);
            }
            const QRect area = view->frameGeometry().adjusted(-24, -24, 24, 24);
            const QPixmap picture = view->screen()->grabWindow(0).copy(area);
            const QString path =
                QDir(outputFolder)
                    .filePath(QStringLiteral("panel-%1-%2.png").arg(shot.name, dark ? "dark" : "light"));
            picture.save(path);
            qInfo("saved %s", qPrintable(path));
        }
    }
    return 0;
}
