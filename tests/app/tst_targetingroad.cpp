// The whole road of a report on Linux, as a person takes it: the application's own panel beside the
// stand-in simulator on a private test desktop, two pins targeted with a real mouse and keyboard,
// the request typed on a real keyboard, copied as a prompt, sent to the reference bridge, followed
// into review, compared before and after, and committed. The stand-in's xcrun takes the screenshots.

#include "app/TallyrigApp.h"
#include "panel/Composer.h"
#include "panel/PictureViews.h"
#include "panel/Progress.h"
#include "panel/SimulatorPanelModel.h"
#include "panel/SimulatorPanelView.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"
#include "simulator/SimulatorPanelController.h"
#include "simulator/TargetScreen.h"
#include "support/DesktopInput.h"
#include "support/DesktopScreenshot.h"
#include "support/ReferenceBridge.h"
#include "support/StandinSimulator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace DesktopInput;

namespace {

constexpr int patience = 20000;

QAbstractButton* buttonTitled(QWidget* in, const QString& title) {
    for (QAbstractButton* button : in->findChildren<QAbstractButton*>()) {
        if (button->text() == title && button->isVisible())
            return button;
    }
    return nullptr;
}

} // namespace

class TestTargetingRoad : public QObject {
    Q_OBJECT
private slots:
    void pickTypeSendFollowCommit();
    void pinAndSendOnACanvas();
};

void TestTargetingRoad::pickTypeSendFollowCommit() {
    ReferenceBridge bridge(40);
    QVERIFY2(bridge.start(), qPrintable(bridge.log()));
    StandinSimulator standin;
    QVERIFY(standin.start({QStringLiteral("--position"), QStringLiteral("100,50")}));
    // Its xcrun, first on the search path, sees only this stand-in.
    qputenv("PATH", StandinSimulator::bin().toLocal8Bit() + ':' + qgetenv("PATH"));
    qputenv("STANDIN_SIMULATOR_REGISTRY", standin.registry().toLocal8Bit());

    QTemporaryDir folder;
    TallyrigApp app(platform::createPlatform(), QString(), folder.filePath(QStringLiteral("settings.json")));
    app.settings().setBridgePort(bridge.port());
    SimulatorPanelController* controller = app.panelController();
    QVERIFY(controller);
    SimulatorPanelModel& model = app.panelModel();
    controller->start();
    QTRY_VERIFY_WITH_TIMEOUT(controller->panel() && controller->panel()->isVisible() && model.trusted() &&
                                 model.deviceTitle() == QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2"),
                             patience);
    auto* view = qobject_cast<SimulatorPanelView*>(controller->panel()->content());
    QVERIFY(view);
    // Placed beside the device window once its content has its size.
    QTRY_COMPARE_WITH_TIMEOUT(controller->panel()->pos(),
                              QPoint(int(std::round(controller->window()->frame.right() + 8)),
                                     int(std::round(controller->window()->frame.top()))),
                              patience);

    // Pick: the panel's targeting button, then the stand-in's Save button.
    platform::WindowList& windows = *app.ports().targeting->windows;
    QVERIFY(click(view->targetButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(model.picking() && controller->overlay(), patience);
    const QRectF screen = controller->overlay()->screen();
    // The Save button as the stand-in draws it, in its own pixels from its screen's corner.
    const QPoint save = (screen.topLeft() * scale() + QPointF(150, 398)).toPoint();
    xdotool({QStringLiteral("mousemove"), QString::number(save.x()), QString::number(save.y())});
    QTRY_COMPARE_WITH_TIMEOUT(controller->overlay()->view()->label, std::optional<QString>("saveButton"),
                              patience);
    // Shift-click pins it and targeting goes on; the panel holds the keyboard, so Down moves the
    // highlight on to the next element and Return picks it as the last pin.
    xdotool({QStringLiteral("keydown"), QStringLiteral("shift")});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    xdotool({QStringLiteral("keyup"), QStringLiteral("shift")});
    QTRY_COMPARE_WITH_TIMEOUT(controller->overlay()->view()->pins.size(), std::size_t(1), patience);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), controller->panel(), patience);
    // The Simulator's late answer to being brought forward takes the keyboard; the panel takes it back.
    QSignalSpy focusMoved(qApp, &QGuiApplication::focusWindowChanged);
    xdotool({QStringLiteral("windowfocus"), QString::number(*controller->window()->number)});
    QTRY_VERIFY_WITH_TIMEOUT(!focusMoved.isEmpty(), patience);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), controller->panel(), patience);
    xdotool({QStringLiteral("key"), QStringLiteral("Down")});
    QTRY_COMPARE_WITH_TIMEOUT(model.highlighted(), std::optional<QString>("SUGGESTED"), patience);
    desktopScreenshot(QStringLiteral("road-targeting"));
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(model.draft().has_value(), patience);
    QCOMPARE(model.error(), std::nullopt);
    QCOMPARE(model.draft()->pins.size(), std::size_t(2));
    QCOMPARE(model.draft()->pick().identifier, std::optional<QString>(QStringLiteral("saveButton")));
    QCOMPARE(model.draft()->pins.back().label, std::optional<QString>(QStringLiteral("SUGGESTED")));
    QVERIFY(!model.picking());

    // Type: the composer has the keyboard.
    QTRY_VERIFY_WITH_TIMEOUT(view->composer() && view->composer()->isVisible(), patience);
    QTRY_VERIFY_WITH_TIMEOUT(view->composer()->editor()->hasFocus(), patience);
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"),
             QStringLiteral("Make the Save button bigger")});
    QTRY_COMPARE_WITH_TIMEOUT(model.comment(), QStringLiteral("Make the Save button bigger"), patience);
    QTRY_VERIFY_WITH_TIMEOUT(model.pictures() && view->composer()->copyButton()->isEnabled(), patience);
    desktopScreenshot(QStringLiteral("road-composer"));

    // The annotated screenshot opens at full size, and Escape closes it.
    QVERIFY(click(view->composer()->thumbnail(), windows));
    QPointer<PictureWindow> picture;
    QTRY_VERIFY_WITH_TIMEOUT((picture = view->composer()->thumbnail()->window()) && picture->isActiveWindow(),
                             patience);
    desktopScreenshot(QStringLiteral("road-annotated"));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!picture, patience);

    // Copy as prompt: the text and the annotated screenshot, as one item.
    QVERIFY(click(view->composer()->copyButton(), windows));
    QTRY_COMPARE_WITH_TIMEOUT(view->composer()->copyButton()->text(), QStringLiteral("Copied"), patience);
    QTRY_VERIFY_WITH_TIMEOUT(
        QApplication::clipboard()->text().contains(QStringLiteral("**saveButton** (Button)")), patience);
    QCOMPARE(QApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")),
             model.pictures()->annotatedPng);

    // Send.
    QTRY_VERIFY_WITH_TIMEOUT(model.canSend(), patience);
    QVERIFY(click(view->composer()->sendButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(model.report().has_value() && !model.sending(), patience);
    QCOMPARE(model.error(), std::nullopt);
    const QString id = model.report()->id;

    // What the bridge has: the element and the stand-in's own screen, as its xcrun saved it.
    const QJsonObject stored =
        QJsonDocument::fromJson(request(bridge.baseAddress() + QStringLiteral("/api/reports/") + id))
            .object();
    QCOMPARE(stored.value("element").toObject().value("identifier").toString(), QStringLiteral("saveButton"));
    QCOMPARE(stored.value("elements").toArray().size(), 2);
    QCOMPARE(stored.value("elements").toArray().at(1).toObject().value("index").toInt(), 2);
    const QImage shot = QImage::fromData(
        request(bridge.baseAddress() + QStringLiteral("/api/reports/") + id + QStringLiteral("/screenshot")),
        "PNG");
    QVERIFY(near(QRectF(QPointF(), QSizeF(shot.size())), QRectF(QPointF(), screen.size() * scale() * 3)));
    const QImage annotated = QImage::fromData(request(bridge.baseAddress() + QStringLiteral("/api/reports/") +
                                                      id + QStringLiteral("/annotated-screenshot")),
                                              "PNG");
    QCOMPARE(annotated.size(), shot.size());
    QVERIFY(annotated != shot);
    // In the device's points, whatever the desktop's scale: the button where the stand-in draws it,
    // the touch where the mouse clicked.
    const QJsonObject frame = stored.value("element").toObject().value("frame").toObject();
    const QRectF button(frame.value("x").toDouble(), frame.value("y").toDouble(),
                        frame.value("width").toDouble(), frame.value("height").toDouble());
    QVERIFY2(near(button, QRectF(20, 376, 260, 44)), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                    .arg(button.x())
                                                                    .arg(button.y())
                                                                    .arg(button.width())
                                                                    .arg(button.height())));
    const QJsonObject touch = stored.value("touch").toObject();
    QVERIFY(
        near(QRectF(touch.value("x").toDouble(), touch.value("y").toDouble(), 0, 0), QRectF(150, 398, 0, 0)));

    // Follow into review, then commit.
    QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, QStringLiteral("review"), patience);
    QAbstractButton* commit = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((commit = buttonTitled(view, QStringLiteral("Commit fix"))), patience);
    // Before and after: a fresh screenshot of the same device, beside the one that was sent.
    QTRY_COMPARE_WITH_TIMEOUT(int(model.after().state), int(PanelComparison::After::State::Taken), patience);
    QVERIFY(view->progress()->before()->isVisible() && view->progress()->after()->isVisible());
    QCOMPARE(QImage::fromData(model.after().png, "PNG").size(), shot.size());
    desktopScreenshot(QStringLiteral("road-review"));
    QVERIFY(click(commit, windows));
    QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, QStringLiteral("committed"), patience);
    QCOMPARE(model.error(), std::nullopt);
}

// A simulator window without an accessibility tree (as Device Hub's): the device's own tree comes
// from its AXe, and targeting happens on its screenshot, laid over the window by the app.
void TestTargetingRoad::pinAndSendOnACanvas() {
    ReferenceBridge bridge(40);
    QVERIFY2(bridge.start(), qPrintable(bridge.log()));
    StandinSimulator standin;
    QVERIFY(standin.start(
        {QStringLiteral("--no-accessibility"), QStringLiteral("--position"), QStringLiteral("100,50")}));
    // Its xcrun and axe, first on the search path, see only this stand-in.
    qputenv("PATH", StandinSimulator::bin().toLocal8Bit() + ':' + qgetenv("PATH"));
    qputenv("STANDIN_SIMULATOR_REGISTRY", standin.registry().toLocal8Bit());

    QTemporaryDir folder;
    TallyrigApp app(platform::createPlatform(), QString(), folder.filePath(QStringLiteral("settings.json")));
    app.settings().setBridgePort(bridge.port());
    SimulatorPanelController* controller = app.panelController();
    QVERIFY(controller);
    SimulatorPanelModel& model = app.panelModel();
    controller->start();
    QTRY_VERIFY_WITH_TIMEOUT(controller->panel() && controller->panel()->isVisible() && model.trusted(),
                             patience);
    QCOMPARE(controller->window()->axWindow, nullptr);
    auto* view = qobject_cast<SimulatorPanelView*>(controller->panel()->content());
    QVERIFY(view);

    platform::WindowList& windows = *app.ports().targeting->windows;
    QVERIFY(click(view->targetButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(controller->overlay() && controller->overlay()->isShown(), patience);
    QCOMPARE(model.error(), std::nullopt);
    const TargetScreen target = controller->overlay()->target();
    QVERIFY(target.still);
    QCOMPARE(int(target.source), int(TargetScreen::Source::Device));
    QCOMPARE(target.still->points, standin.devices().value(0).screen);
    // The picture as large as fits in the window's content, the same shape as the device's screen.
    const QRectF screen = controller->overlay()->screen();
    QVERIFY(std::abs(screen.width() / screen.height() - 0.5) < 0.01);
    // A device point on the canvas, in the desktop's pixels, where xdotool moves the mouse: the canvas
    // moves with its window.
    const auto onCanvas = [&](QPointF device) {
        const QRectF now = controller->overlay()->screen();
        return ((now.topLeft() + device * now.width() / target.still->points.width()) * scale()).toPoint();
    };

    const QPoint save = onCanvas({150, 398});
    xdotool({QStringLiteral("mousemove"), QString::number(save.x()), QString::number(save.y())});
    QTRY_COMPARE_WITH_TIMEOUT(controller->overlay()->view()->label, std::optional<QString>("saveButton"),
                              patience);
    xdotool({QStringLiteral("keydown"), QStringLiteral("shift")});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    xdotool({QStringLiteral("keyup"), QStringLiteral("shift")});
    QTRY_COMPARE_WITH_TIMEOUT(controller->overlay()->view()->pins.size(), std::size_t(1), patience);
    const QPoint name = onCanvas({150, 120});
    xdotool({QStringLiteral("mousemove"), QString::number(name.x()), QString::number(name.y())});
    QTRY_COMPARE_WITH_TIMEOUT(controller->overlay()->view()->label,
                              std::optional<QString>("displayNameLabel"), patience);
    desktopScreenshot(QStringLiteral("road-canvas"));
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    QTRY_VERIFY_WITH_TIMEOUT(model.draft().has_value(), patience);
    QCOMPARE(model.error(), std::nullopt);
    QCOMPARE(model.draft()->pins.size(), std::size_t(2));
    // The report is made of the very picture that was targeted.
    QCOMPARE(model.draft()->png, target.still->png);
    QCOMPARE(model.draft()->device.udid, standin.devices().value(0).udid);

    QTRY_VERIFY_WITH_TIMEOUT(view->composer() && view->composer()->editor()->hasFocus(), patience);
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"),
             QStringLiteral("Bigger Save")});
    QTRY_VERIFY_WITH_TIMEOUT(model.canSend(), patience);
    QVERIFY(click(view->composer()->sendButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(model.report().has_value() && !model.sending(), patience);
    QCOMPARE(model.error(), std::nullopt);

    // In device points, as the stand-in lays out its screen, whatever the canvas's scale.
    const QJsonObject stored =
        QJsonDocument::fromJson(
            request(bridge.baseAddress() + QStringLiteral("/api/reports/") + model.report()->id))
            .object();
    const auto rect = [](const QJsonObject& frame) {
        return QRectF(frame.value("x").toDouble(), frame.value("y").toDouble(),
                      frame.value("width").toDouble(), frame.value("height").toDouble());
    };
    const QJsonArray pins = stored.value("elements").toArray();
    QCOMPARE(pins.size(), 2);
    QCOMPARE(pins.at(0).toObject().value("element").toObject().value("identifier").toString(),
             QStringLiteral("saveButton"));
    QVERIFY(near(rect(pins.at(0).toObject().value("element").toObject().value("frame").toObject()),
                 QRectF(20, 376, 260, 44)));
    // A touch lands on a whole pixel of the desktop, which is most of a device point on a small canvas.
    const double pixel = target.still->points.width() / (screen.width() * scale());
    QVERIFY(near(rect(pins.at(0).toObject().value("touch").toObject()), QRectF(150, 398, 0, 0), 1.5 * pixel));
    QCOMPARE(pins.at(1).toObject().value("element").toObject().value("identifier").toString(),
             QStringLiteral("displayNameLabel"));
    QVERIFY(near(rect(pins.at(1).toObject().value("element").toObject().value("frame").toObject()),
                 QRectF(88, 112, 192, 20)));
    QVERIFY2(near(rect(pins.at(1).toObject().value("touch").toObject()), QRectF(150, 120, 0, 0), 1.5 * pixel),
             QJsonDocument(pins.at(1).toObject()).toJson().constData());
    QCOMPARE(stored.value("viewport").toString(), QStringLiteral("300x600"));
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    TestTargetingRoad test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_targetingroad.moc"
