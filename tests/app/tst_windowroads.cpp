// The road of a report from a real desktop application, as a person takes it through the app on the
// private test desktop: GTK 3's widget factory, GTK 4's demo, qt6ct, and the test page in Firefox
// and Chromium. Its window chosen with the mouse, two pins targeted, a request typed and sent; the
// bridge must hold what AT-SPI itself reports at those points (tests/platform/atspi_probe.py). Then
// choosing, following, losing and finding a window again, with the mouse and through AT-SPI.

#include "app/TallyrigApp.h"
#include "panel/Composer.h"
#include "panel/PanelComparison.h"
#include "panel/SimulatorPanelModel.h"
#include "panel/SimulatorPanelView.h"
#include "platform/linux/AtspiAccessibility.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"
#include "simulator/SimulatorPanelController.h"
#include "support/AtspiProbe.h"
#include "support/DesktopApp.h"
#include "support/DesktopInput.h"
#include "support/DesktopScreenshot.h"
#include "support/ReferenceBridge.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

using namespace DesktopInput;

namespace {

constexpr int patience = 20000;

// An element to pin, by its AT-SPI role name, name and rank among the shown ones of both; what is
// known of it beforehand: states it must have, and on the test page its help, tag, id and class.
struct Spot {
    QString role;
    QString name;
    int nth = 0;
    QStringList states;
    QStringList page;
};

QRectF rectOf(const QJsonObject& frame) {
    return QRectF(frame.value("x").toDouble(), frame.value("y").toDouble(), frame.value("width").toDouble(),
                  frame.value("height").toDouble());
}

QString text(const QRectF& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QStringList texts(const QJsonValue& array) {
    QStringList all;
    for (const QJsonValue& each : array.toArray())
        all.append(each.toString());
    return all;
}

// What the overlay's tag says of an element: its identifier, else its name.
QString tagOf(const QJsonObject& told) {
    const QString id = told.value("id").toString();
    return id.isEmpty() ? told.value("name").toString() : id;
}

// A pin of the stored report against what AT-SPI reports of its element, with its frame and touch
// point in logical pixels from the window content's corner; `within` one desktop pixel and the
// report's rounding to a tenth.
void comparePin(const QJsonObject& pin, const QJsonObject& told, const Spot& spot, const QRectF& extents,
                const QPointF& touch) {
    const QJsonObject element = pin.value("element").toObject();
    const QString role = platform::atspi::AtspiAccessibility::axRole(uint(told.value("role").toInt())).mid(2);
    QCOMPARE(element.value("type").toString(), role);
    QCOMPARE(element.value("accessibilityLabel").toString(), told.value("name").toString());
    const QString id = told.value("id").toString();
    QCOMPARE(element.contains("identifier"), !id.isEmpty());
    QCOMPARE(element.value("identifier").toString(), id);
    QCOMPARE(element.value("name").toString(), tagOf(told));
    const QString description = told.value("description").toString().trimmed();
    QCOMPARE(element.value("description").toString(), description);
    QCOMPARE(element.contains("description"), !description.isEmpty());

    // Every state named is one AT-SPI has, "disabled" being the absence of "enabled" and "sensitive".
    const QStringList ours = texts(element.value("states"));
    const QStringList theirs = texts(told.value("states"));
    for (const QString& state : ours) {
        if (state != QLatin1String("disabled"))
            QVERIFY2(theirs.contains(state), qPrintable(state));
    }
    QCOMPARE(ours.contains(QStringLiteral("disabled")),
             !theirs.contains(QStringLiteral("enabled")) && !theirs.contains(QStringLiteral("sensitive")));
    for (const QString& state : spot.states)
        QVERIFY2(ours.contains(state), qPrintable(ours.join(' ')));

    const QJsonObject attributes = told.value("attributes").toObject();
    const QJsonObject dom = element.value("dom").toObject();
    bool anyDom = false;
    for (const char* key : {"tag", "id", "class"}) {
        QCOMPARE(dom.value(key).toString(), attributes.value(key).toString());
        anyDom = anyDom || !attributes.value(key).toString().isEmpty();
    }
    QCOMPARE(element.contains("dom"), anyDom);
    if (!spot.page.isEmpty()) {
        QCOMPARE(QStringList({description, dom.value("tag").toString(), dom.value("id").toString(),
                              dom.value("class").toString()}),
                 spot.page);
    }

    const double within = 1 / scale() + 0.05;
    const QRectF frame = rectOf(element.value("frame").toObject());
    QVERIFY2(near(frame, extents, within), qPrintable(text(frame) + QStringLiteral(" for ") + text(extents)));
    const QRectF touched = rectOf(pin.value("touch").toObject());
    QVERIFY2(near(touched, QRectF(touch, QSizeF(0, 0)), within),
             qPrintable(text(touched) + QStringLiteral(" for ") + text(QRectF(touch, QSizeF(0, 0)))));
}

} // namespace

Q_DECLARE_METATYPE(Spot)

class TestWindowRoads : public QObject {
    Q_OBJECT
private slots:
    void pinTwoAndSend_data();
    void pinTwoAndSend();
    void chooseFollowLoseAndFindAgain();
};

void TestWindowRoads::pinTwoAndSend_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Spot>("first");
    QTest::addColumn<Spot>("second");
    const Spot save{
        "push button", "Save", 0, {"focusable"}, {"Saves your changes", "button", "save", "primary wide"}};
    const Spot news{"check box", "Send me news", 0, {"checked"}, {"", "input", "news", "toggle"}};
    QTest::newRow("GTK 3") << int(DesktopApp::Gtk3) << QStringList()
                           << Spot{"push button", "Sans Regular", 0, {"focusable"}, {}}
                           << Spot{"toggle button", "togglebutton", 2, {"checked"}, {}};
    QTest::newRow("GTK 4") << int(DesktopApp::Gtk4) << QStringList()
                           << Spot{"label", "Application Class", 0, {}, {}}
                           << Spot{"push button", "Expand", 0, {}, {}};
    QTest::newRow("Qt 6") << int(DesktopApp::Qt6) << QStringList()
                          << Spot{"combo box", "Fusion", 0, {"focusable"}, {}}
                          << Spot{"label", "Style:", 0, {}, {}};
    QTest::newRow("Firefox page") << int(DesktopApp::Firefox) << QStringList() << save << news;
    QTest::newRow("Chromium page") << int(DesktopApp::Chromium)
                                   << QStringList{QStringLiteral("--force-renderer-accessibility")} << save
                                   << news;
}

void TestWindowRoads::pinTwoAndSend() {
    QFETCH(int, kind);
    QFETCH(QStringList, arguments);
    QFETCH(Spot, first);
    QFETCH(Spot, second);

    // A bridge of its own: the panel follows the last report its bridge has.
    ReferenceBridge bridge(40);
    QVERIFY2(bridge.start(), qPrintable(bridge.log()));
    QTemporaryDir folder;
    TallyrigApp app(platform::createPlatform(), QString(), folder.filePath(QStringLiteral("settings.json")));
    app.settings().setBridgePort(bridge.port());
    SimulatorPanelController* controller = app.panelController();
    QVERIFY(controller);
    SimulatorPanelModel& model = app.panelModel();
    controller->start();
    platform::WindowList& windows = *app.ports().targeting->windows;

    DesktopApp desktop(DesktopApp::Kind(kind), scale(), arguments);
    QVERIFY(desktop.start(app.ports().targeting->ports()));
    std::optional<platform::WindowEntry> shown;
    QTRY_VERIFY_WITH_TIMEOUT((shown = desktop.window(windows)), patience);

    // Chosen with the mouse: "Target Window…", then a click on the application's window.
    app.targetWindowAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(controller->isChoosing(), patience);
    moveTo(shown->clientBounds->center());
    click();
    QTRY_VERIFY_WITH_TIMEOUT(!controller->isChoosing() && controller->window() &&
                                 controller->window()->pid == desktop.pid() && controller->panel() &&
                                 controller->panel()->isVisible(),
                             patience);
    QCOMPARE(int(controller->window()->kind), int(SimulatorWindow::Kind::Window));
    auto* view = qobject_cast<SimulatorPanelView*>(controller->panel()->content());
    QVERIFY(view);

    // What AT-SPI reports at both, once the application has filled them in: a page's attributes
    // come with a later answer than its elements.
    QJsonObject told[2];
    const Spot* spots[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        QTRY_VERIFY_WITH_TIMEOUT(
            !(told[i] = AtspiProbe::element(desktop.pid(), spots[i]->role, spots[i]->name, spots[i]->nth))
                    .isEmpty() &&
                (!desktop.isWeb() || told[i].value("attributes").toObject().contains("tag")),
            30000);
    }
    shown = desktop.window(windows);
    QVERIFY(shown);
    const QRectF content = *shown->clientBounds;
    QRectF extents[2];
    QPointF touches[2];
    for (int i = 0; i < 2; ++i) {
        extents[i] = desktop.logical(told[i].value("extents").toArray(), content.topLeft());
        touches[i] = QPointF(pixel(extents[i].center())) / scale();
    }

    // Pin 1 with Shift, pin 2 with a plain click.
    QVERIFY(click(view->targetButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(model.picking() && controller->overlay(), patience);
    for (int i = 0; i < 2; ++i) {
        moveTo(extents[i].center());
        QTRY_VERIFY2_WITH_TIMEOUT(controller->overlay()->view()->label == tagOf(told[i]),
                                  qPrintable(controller->overlay()->view()->label.value_or("nothing") +
                                             QStringLiteral(" at ") + text(extents[i])),
                                  patience);
        if (i == 1)
            desktopScreenshot(QStringLiteral("window-%1-targeting").arg(desktop.program()));
        click(i == 0);
        if (i == 0)
            QTRY_COMPARE_WITH_TIMEOUT(controller->overlay()->view()->pins.size(), std::size_t(1), patience);
    }
    QTRY_VERIFY_WITH_TIMEOUT(model.draft().has_value(), patience);
    QCOMPARE(model.error(), std::nullopt);
    QCOMPARE(model.draft()->pins.size(), std::size_t(2));

    QTRY_VERIFY_WITH_TIMEOUT(view->composer() && view->composer()->editor()->hasFocus(), patience);
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"),
             QStringLiteral("Make these two match")});
    QTRY_COMPARE_WITH_TIMEOUT(model.comment(), QStringLiteral("Make these two match"), patience);
    QTRY_VERIFY_WITH_TIMEOUT(model.canSend(), patience);
    desktopScreenshot(QStringLiteral("window-%1-composer").arg(desktop.program()));
    QVERIFY(click(view->composer()->sendButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(model.report().has_value() && !model.sending(), patience);
    QCOMPARE(model.error(), std::nullopt);

    const QString address = bridge.baseAddress() + QStringLiteral("/api/reports/") + model.report()->id;
    const QJsonObject stored = QJsonDocument::fromJson(request(address)).object();
    QCOMPARE(stored.value("target").toString(), QStringLiteral("window"));
    const QJsonObject application = stored.value("application").toObject();
    QCOMPARE(application.value("name").toString(), told[0].value("application").toString());
    QCOMPARE(stored.value("device").toString(), told[0].value("application").toString());
    QCOMPARE(application.value("scale").toDouble(), scale());
    QCOMPARE(QFileInfo(application.value("executable").toString()).fileName(), desktop.program());
    QVERIFY(!application.value("windowClass").toString().isEmpty());
    QCOMPARE(stored.value("simulator").toString(), application.value("windowClass").toString());
    QCOMPARE(stored.value("screen").toString(), windows.title(*shown->number).value_or(QString()));
    QCOMPARE(application.value("title").toString(), stored.value("screen").toString());
    QCOMPARE(stored.value("viewport").toString(),
             QStringLiteral("%1x%2").arg(qint64(content.width())).arg(qint64(content.height())));
    // The window's own content, at the window's scale.
    const QImage shot = QImage::fromData(request(address + QStringLiteral("/screenshot")), "PNG");
    QVERIFY(near(QRectF(QPointF(), QSizeF(shot.size())), QRectF(QPointF(), content.size() * scale()), 1));

    const QJsonArray pins = stored.value("elements").toArray();
    QCOMPARE(pins.size(), 2);
    QCOMPARE(stored.value("element").toObject(), pins.at(0).toObject().value("element").toObject());
    for (int i = 0; i < 2; ++i) {
        comparePin(pins.at(i).toObject(), told[i], *spots[i], extents[i].translated(-content.topLeft()),
                   touches[i] - content.topLeft());
        if (QTest::currentTestFailed())
            return;
    }
}

void TestWindowRoads::chooseFollowLoseAndFindAgain() {
    ReferenceBridge bridge(40);
    QVERIFY2(bridge.start(), qPrintable(bridge.log()));
    // Reports wait to be dispatched, so that the application can close and come back meanwhile.
    request(bridge.baseAddress() + QStringLiteral("/api/settings"), QByteArray(R"({"autoDispatch":false})"));
    QTemporaryDir folder;
    TallyrigApp app(platform::createPlatform(), QString(), folder.filePath(QStringLiteral("settings.json")));
    app.settings().setBridgePort(bridge.port());
    QMainWindow* main = app.newWindow();
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    SimulatorPanelController* controller = app.panelController();
    QVERIFY(controller && controller->isStarted());
    SimulatorPanelModel& model = app.panelModel();
    platform::WindowList& windows = *app.ports().targeting->windows;
    const qint32 ours = qint32(QCoreApplication::applicationPid());
    QMenu* view = nullptr;
    for (QAction* action : main->menuBar()->actions()) {
        if (action->text() == QLatin1String("&View"))
            view = action->menu();
    }
    QVERIFY(view);
    QMenu* choices = nullptr;
    for (QAction* action : view->actions()) {
        if (action->text() == QLatin1String("Choose a Window"))
            choices = action->menu();
    }
    QVERIFY(choices);

    DesktopApp factory(DesktopApp::Gtk3, scale());
    QVERIFY(factory.start(app.ports().targeting->ports()));

    // With the mouse: View, "Target Window…"; Escape takes the chooser down with nothing chosen.
    xdotool({QStringLiteral("windowactivate"), QString::number(main->winId())});
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), main, patience);
    moveTo(main->menuBar()->mapToGlobal(main->menuBar()->actionGeometry(view->menuAction()).center()));
    click();
    QTRY_VERIFY_WITH_TIMEOUT(view->isVisible(), patience);
    moveTo(view->mapToGlobal(view->actionGeometry(app.targetWindowAction()).center()));
    click();
    QTRY_VERIFY_WITH_TIMEOUT(controller->isChoosing(), patience);
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!controller->isChoosing(), patience);
    QVERIFY(!controller->target());

    // Through AT-SPI: View, "Choose a Window", the factory's window.
    QVERIFY(AtspiProbe::act(ours, QStringLiteral("menu item"), QStringLiteral("View"),
                            QStringLiteral("ShowMenu")));
    QTRY_VERIFY_WITH_TIMEOUT(view->isVisible(), patience);
    QVERIFY(AtspiProbe::act(ours, QStringLiteral("menu item"), QStringLiteral("Choose a Window"),
                            QStringLiteral("ShowMenu")));
    QString item;
    QTRY_VERIFY_WITH_TIMEOUT(
        choices->isVisible() &&
            [&] {
                for (QAction* action : choices->actions()) {
                    if (action->text().endsWith(QStringLiteral(" \u2014 ") + factory.program()))
                        item = action->text();
                }
                return !item.isEmpty();
            }(),
        patience);
    QVERIFY(AtspiProbe::act(ours, QStringLiteral("menu item"), item, QStringLiteral("Press")));
    QTRY_VERIFY_WITH_TIMEOUT(controller->window() && controller->window()->pid == factory.pid() &&
                                 controller->panel() && controller->panel()->isVisible(),
                             patience);
    QTRY_VERIFY_WITH_TIMEOUT(!view->isVisible() && !choices->isVisible(), patience);
    QVERIFY(!app.followSimulatorAction()->isChecked());

    // The panel follows the window as it moves: beside it, its top level with the window's.
    std::optional<QRectF> before;
    for (const QPointF to : {QPointF(340, 30), QPointF(380, 90)}) {
        const QPoint at = pixel(to);
        xdotool({QStringLiteral("windowmove"), QString::number(*factory.window(windows)->number),
                 QString::number(at.x()), QString::number(at.y())});
        std::optional<QRectF> frame;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (frame = factory.window(windows)->bounds) && frame != before &&
                std::abs(controller->panel()->geometry().right() + 1 + 8 - frame->left()) <= 1 &&
                std::abs(controller->panel()->y() - frame->top()) <= 1,
            qPrintable(text(QRectF(controller->panel()->geometry())) + QStringLiteral(" beside ") +
                       text(frame.value_or(QRectF()))),
            patience);
        before = frame;
    }
    desktopScreenshot(QStringLiteral("window-chosen"));

    // Closed, the panel stays and says so; relaunched, the same program is followed again.
    const auto closed = [&] {
        return model.offer() && model.offer()->text == QStringLiteral("The target window closed") &&
               controller->panel()->isVisible();
    };
    const auto refound = [&] {
        return !model.offer() && controller->window() && controller->window()->pid == factory.pid() &&
               controller->panel()->isVisible();
    };
    factory.stop();
    QTRY_VERIFY_WITH_TIMEOUT(closed(), patience);
    desktopScreenshot(QStringLiteral("window-closed"));
    QVERIFY(factory.start(app.ports().targeting->ports()));
    QTRY_VERIFY_WITH_TIMEOUT(refound(), patience);

    // A report from it, which waits while the application closes and comes back.
    QJsonObject told;
    QTRY_VERIFY_WITH_TIMEOUT(!(told = AtspiProbe::element(factory.pid(), QStringLiteral("push button"),
                                                          QStringLiteral("Sans Regular")))
                                  .isEmpty(),
                             30000);
    auto* panel = qobject_cast<SimulatorPanelView*>(controller->panel()->content());
    QVERIFY(panel);
    QVERIFY(click(panel->targetButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(controller->overlay(), patience);
    moveTo(factory.logical(told.value("extents").toArray(), QPointF()).center());
    QTRY_COMPARE_WITH_TIMEOUT(controller->overlay()->view()->label,
                              std::optional(QStringLiteral("Sans Regular")), patience);
    click();
    QTRY_VERIFY_WITH_TIMEOUT(panel->composer() && panel->composer()->editor()->hasFocus(), patience);
    xdotool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), QStringLiteral("Bolder")});
    QTRY_VERIFY_WITH_TIMEOUT(model.canSend(), patience);
    QVERIFY(click(panel->composer()->sendButton(), windows));
    QTRY_VERIFY_WITH_TIMEOUT(model.report() && model.report()->status == QStringLiteral("queued"), patience);

    // Its answers through AT-SPI: "Target Window…" arms the chooser, which Escape takes down; the
    // window chosen before is still the one found again.
    const QStringList offer{QStringLiteral("filler"), QStringLiteral("The target window closed")};
    factory.stop();
    QTRY_VERIFY_WITH_TIMEOUT(closed(), patience);
    QVERIFY(AtspiProbe::act(ours, QStringLiteral("push button"), QStringLiteral("Target Window\u2026"),
                            QStringLiteral("Press"), offer));
    QTRY_VERIFY_WITH_TIMEOUT(controller->isChoosing() && !model.offer(), patience);
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!controller->isChoosing(), patience);
    QVERIFY(factory.start(app.ports().targeting->ports()));
    QTRY_VERIFY_WITH_TIMEOUT(refound(), patience);

    // In review, "After" is the relaunched window as it shows.
    request(bridge.baseAddress() + QStringLiteral("/api/reports/") + model.report()->id +
                QStringLiteral("/dispatch"),
            QByteArray("{}"));
    QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, QStringLiteral("review"), patience);
    QTRY_COMPARE_WITH_TIMEOUT(int(model.after().state), int(PanelComparison::After::State::Taken), patience);
    const auto relaunched = factory.window(windows);
    QVERIFY(relaunched);
    QCOMPARE(controller->window()->number, relaunched->number);
    const QImage after = QImage::fromData(model.after().png, "PNG");
    QVERIFY(near(QRectF(QPointF(), QSizeF(after.size())),
                 QRectF(QPointF(), relaunched->clientBounds->size() * scale()), 1));
    desktopScreenshot(QStringLiteral("window-review"));

    // "Follow the Simulator", through AT-SPI: there is none here, so the panel goes.
    factory.stop();
    QTRY_VERIFY_WITH_TIMEOUT(closed(), patience);
    QVERIFY(AtspiProbe::act(ours, QStringLiteral("push button"), QStringLiteral("Follow the Simulator"),
                            QStringLiteral("Press"), offer));
    QTRY_VERIFY_WITH_TIMEOUT(!controller->target() && !model.offer() && !controller->panel()->isVisible(),
                             patience);
    QVERIFY(app.followSimulatorAction()->isChecked());
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    TestWindowRoads test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowroads.moc"
