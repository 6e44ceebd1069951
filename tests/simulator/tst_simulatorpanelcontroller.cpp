#include "foundation/Settings.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"
#include "simulator/SimulatorPanelController.h"
#include "support/FakeSimulator.h"
#include "support/FakeSimulatorTool.h"
#include "support/FakeWindowSystem.h"
#include "support/RecordingPanelModel.h"
#include "support/TestPng.h"

#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

const QRectF screenFrame(0, 0, 1600, 1000);

// Lists the panel in the fake window list while it is shown, as a window manager would.
class WindowManager : public QObject {
public:
    explicit WindowManager(FakeSimulator& simulator) : m_simulator(simulator) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            m_simulator.listOurs(quint32(static_cast<QWidget*>(watched)->winId()),
                                 event->type() == QEvent::Show);
        return false;
    }

private:
    FakeSimulator& m_simulator;
};

// Counts the moves of a window, as the window system would be asked to make them.
class MoveCounter : public QObject {
public:
    int moves = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        moves += event->type() == QEvent::Move;
        return false;
    }
};

// Everything a controller needs, on a desktop of fakes with the Simulator running.
struct Rig {
    QTemporaryDir folder;
    Settings settings{folder.filePath(QStringLiteral("settings.json"))};
    FakeDesktop desktop;
    FakeSimulator simulator{desktop};
    FakeWindowSystem windows;
    RecordingPanelModel model;
    QSize contentSize{300, 400};
    QPointer<QWidget> content;
    WindowManager manager{simulator};
    std::unique_ptr<SimulatorPanelController> controller;

    explicit Rig(SimulatorPanelController::Timings timings = {}) {
        windows.restacked = [this](quint32 ours, quint32 other) { simulator.restack(ours, other); };
        controller = std::make_unique<SimulatorPanelController>(
            desktop.ports(), windows, settings, model,
            [this](QWidget* parent) {
                parent->installEventFilter(&manager);
                content = new QWidget(parent);
                content->setFixedSize(contentSize);
                return content.data();
            },
            timings);
        controller->setScreenSource([] {
            return SimulatorPanelController::Screens{{{screenFrame, screenFrame}}, 0, screenFrame.height()};
        });
    }

    FloatingPanel* panel() const { return controller->panel(); }
    bool panelShown() const { return panel() && panel()->isVisible(); }
    PickOverlay* overlay() const { return controller->overlay(); }

    // Targeting under way, the mouse over the device screen's background.
    void target() {
        controller->tick();
        QCursor::setPos(QPoint(300, 200));
        controller->togglePick();
        QVERIFY(overlay());
    }
    // A press of a mouse button at a global point over the overlay.
    void press(Qt::MouseButton button, QPoint at) {
        QCursor::setPos(at);
        PickView* view = overlay()->view();
        QTest::mousePress(view, button, {}, view->mapFromGlobal(at));
    }
};

} // namespace

using Step = std::function<void(Rig&)>;
Q_DECLARE_METATYPE(Step)

class TestSimulatorPanelController : public QObject {
    Q_OBJECT
private slots:
    void tick_data();
    void tick();
    void endsTargeting_data();
    void endsTargeting();
    void pick_data();
    void pick();
    void togglePickWithoutAccess_data();
    void togglePickWithoutAccess();
    void windowSystemChanges_data();
    void windowSystemChanges();
    void readsOfALook_data();
    void readsOfALook();
    void startsOneLoop();
    void panel();
    void targetingBringsTheSimulatorForward();
    void panelTakesTheKeyboard_data();
    void panelTakesTheKeyboard();
    void followsAChosenWindow();
    void readsABareDevice();
};

void TestSimulatorPanelController::tick_data() {
    QTest::addColumn<Step>("setup");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QPoint>("panelAt"); // (−1, −1): no panel shown
    QTest::addColumn<bool>("escapeOnlyHere");

    const QPoint none(-1, -1);
    QTest::newRow("Simulator found: beside it, tops level")
        << Step([](Rig&) {}) << true << true << FakeSimulator::title << QPoint(528, 50) << false;
    QTest::newRow("too close to the right edge: left of it")
        << Step([](Rig& rig) { rig.simulator.moveTo(QRectF(1150, 50, 420, 860)); }) << true << true
        << FakeSimulator::title << QPoint(842, 50) << false;
    QTest::newRow("near the bottom: raised onto it")
        << Step([](Rig& rig) { rig.simulator.moveTo(QRectF(100, 800, 420, 860)); }) << true << true
        << FakeSimulator::title << QPoint(528, 600) << false;
    QTest::newRow("panel turned off") << Step([](Rig& rig) { rig.settings.setSimulatorPanel(false); })
                                      << false << true << QString() << none << false;
    QTest::newRow("no Simulator") << Step([](Rig& rig) { rig.simulator.quit(); }) << false << true
                                  << QString() << none << false;
    QTest::newRow("Simulator hidden")
        << Step([](Rig& rig) { rig.desktop.applications.hidden.insert(FakeSimulator::pid); }) << false << true
        << QString() << none << false;
    QTest::newRow("no accessibility access: still followed, by its list entry")
        << Step([](Rig& rig) { rig.desktop.accessibility.trusted = false; }) << true << false
        << QStringLiteral("Simulator") << QPoint(528, 50) << false;
    QTest::newRow("no access where the Escape watch needs it: Escape only in the panel")
        << Step([](Rig& rig) {
               rig.desktop.accessibility.trusted = false;
               rig.windows.escapeWatchNeedsTrust = true;
           })
        << true << false << QStringLiteral("Simulator") << QPoint(528, 50) << true;
}

void TestSimulatorPanelController::tick() {
    QFETCH(Step, setup);
    QFETCH(bool, visible);
    QFETCH(bool, trusted);
    QFETCH(QString, title);
    QFETCH(QPoint, panelAt);
    QFETCH(bool, escapeOnlyHere);

    Rig rig;
    setup(rig);
    rig.controller->tick();
    QCOMPARE(rig.model.visible, visible);
    QCOMPARE(rig.model.trusted, trusted);
    QCOMPARE(rig.model.escapeOnlyHere, escapeOnlyHere);
    QCOMPARE(rig.model.deviceTitle, title);
    QCOMPARE(rig.controller->window().has_value(), visible);
    QCOMPARE(rig.panelShown(), panelAt != QPoint(-1, -1));
    if (rig.panelShown()) {
        QCOMPARE(rig.panel()->geometry(), QRect(panelAt, rig.contentSize));
        // Kept out of task bars before it showed, and shown in front of the Simulator window, so
        // directly above it without asking.
        QCOMPARE(rig.windows.changes, QStringList{QStringLiteral("auxiliary %1").arg(rig.panel()->winId())});
        rig.controller->tick();
        QCOMPARE(rig.windows.changes.size(), 1);
    } else {
        QVERIFY(!rig.panel());
    }
}

void TestSimulatorPanelController::endsTargeting_data() {
    QTest::addColumn<Step>("end");
    QTest::addColumn<bool>("queued"); // still targeting until the event loop has run
    QTest::addColumn<bool>("panelShown");

    QTest::newRow("panel turned off") << Step([](Rig& rig) {
        rig.settings.setSimulatorPanel(false);
        rig.controller->tick();
    }) << false << false;
    QTest::newRow("Simulator quits") << Step([](Rig& rig) {
        rig.simulator.quit();
        rig.controller->tick();
    }) << false << false;
    QTest::newRow("Simulator hidden") << Step([](Rig& rig) {
        rig.desktop.applications.hidden.insert(FakeSimulator::pid);
        rig.controller->tick();
    }) << false << false;
    QTest::newRow("second togglePick")
        << Step([](Rig& rig) { rig.controller->togglePick(); }) << false << true;
    QTest::newRow("Escape in another application")
        << Step([](Rig& rig) { rig.windows.pressEscape(); }) << true << true;
    QTest::newRow("Escape on the overlay")
        << Step([](Rig& rig) { QTest::keyClick(rig.overlay()->view(), Qt::Key_Escape); }) << false << true;
    QTest::newRow("right click") << Step([](Rig& rig) { rig.press(Qt::RightButton, QPoint(300, 200)); })
                                 << false << true;
}

void TestSimulatorPanelController::endsTargeting() {
    QFETCH(Step, end);
    QFETCH(bool, queued);
    QFETCH(bool, panelShown);

    Rig rig;
    rig.target();
    QVERIFY(rig.model.picking);
    QPointer<PickOverlay> overlay = rig.overlay();
    QVERIFY(overlay->isWatchingEscape());

    end(rig);
    if (queued) {
        QVERIFY(rig.model.picking);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.model.picking, 5000);
    }
    QVERIFY(!rig.model.picking);
    QVERIFY(!rig.overlay());
    QVERIFY(rig.windows.escapeWatches.isEmpty());
    QCOMPARE(rig.panelShown(), panelShown);
    QTRY_VERIFY_WITH_TIMEOUT(!overlay, 5000);
    // Targeting can start again, over the same window.
    if (panelShown) {
        rig.controller->togglePick();
        QVERIFY(rig.overlay());
        QVERIFY(rig.model.picking);
    }
}

// Steps of targeting, as the user takes them.
Step click(QPoint at, Qt::KeyboardModifiers modifiers = {}) {
    return [=](Rig& rig) {
        QCursor::setPos(at);
        PickView* view = rig.overlay()->view();
        QTest::mouseClick(view, Qt::LeftButton, modifiers, view->mapFromGlobal(at));
    };
}
Step shiftClick(QPoint at) {
    return click(at, Qt::ShiftModifier);
}
// A key pressed while the panel holds the keyboard.
Step press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    return [=](Rig& rig) { QTest::keyClick(rig.panel()->windowHandle(), key, modifiers); };
}
using Steps = QList<Step>;
Q_DECLARE_METATYPE(Steps)

void TestSimulatorPanelController::pick_data() {
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("selected");    // the pins, by name; "": none, targeting goes on
    QTest::addColumn<QString>("highlighted"); // while targeting goes on

    const QPoint save(200, 420), card(320, 650), background(300, 200);
    QTest::newRow("a control with an identifier") << Steps{click(save)} << "saveButton"
                                                  << "";
    QTest::newRow("a control without one") << Steps{click(card)} << "Button"
                                           << "";
    QTest::newRow("the screen's background") << Steps{click(background)} << "Screen"
                                             << "";
    QTest::newRow("the bezel") << Steps{click(QPoint(115, 300))} << ""
                               << "";
    QTest::newRow("the title bar") << Steps{click(QPoint(300, 60))} << ""
                                   << "";
    QTest::newRow("Shift-click pins, a click ends")
        << Steps{shiftClick(save), click(card)} << "saveButton Button"
        << "";
    QTest::newRow("Shift-click on a pin unpins it")
        << Steps{shiftClick(save), shiftClick(card), shiftClick(save), click(background)} << "Button Screen"
        << "";
    QTest::newRow("a click on a pin adds it once") << Steps{shiftClick(save), click(save)} << "saveButton"
                                                   << "";
    QTest::newRow("the ninth pin ends targeting")
        << Steps(9, shiftClick(background)) << QStringList(9, "Screen").join(' ') << "";
    // The keyboard, through the panel: the screen's elements in reading order.
    QTest::newRow("arrows move the highlight")
        << Steps{press(Qt::Key_Down), press(Qt::Key_Right), press(Qt::Key_Up)} << ""
        << "saveButton";
    QTest::newRow("Tab, then Return") << Steps{press(Qt::Key_Tab), press(Qt::Key_Return)} << "saveButton"
                                      << "";
    QTest::newRow("Shift-Tab from the start wraps to the last")
        << Steps{press(Qt::Key_Backtab, Qt::ShiftModifier), press(Qt::Key_Enter)} << "Button"
        << "";
    QTest::newRow("Shift-Return pins, Return ends")
        << Steps{press(Qt::Key_Right), press(Qt::Key_Return, Qt::ShiftModifier), press(Qt::Key_Right),
                 press(Qt::Key_Return)}
        << "saveButton Button"
        << "";
    QTest::newRow("the keyboard goes on from the mouse's element")
        << Steps{[](Rig& rig) { rig.overlay()->hover(QPointF(200, 420)); }, press(Qt::Key_Right)} << ""
        << "Upgrade";
    QTest::newRow("Return on nothing does nothing") << Steps{press(Qt::Key_Return)} << ""
                                                    << "";
    QTest::newRow("Return on nothing after a pin ends")
        << Steps{press(Qt::Key_Right), press(Qt::Key_Return, Qt::ShiftModifier),
                 [](Rig& rig) { rig.overlay()->hover(QPointF(300, 200)); }, press(Qt::Key_Return)}
        << "saveButton"
        << "";
}

void TestSimulatorPanelController::pick() {
    QFETCH(Steps, steps);
    QFETCH(QString, selected);
    QFETCH(QString, highlighted);

    Rig rig;
    rig.target();
    // The panel holds the keyboard from the start.
    QVERIFY(rig.windows.changes.contains(QStringLiteral("activate %1").arg(rig.panel()->winId())));
    bool targetingAtSelect = true;
    rig.model.onSelect = [&] { targetingAtSelect = rig.overlay() != nullptr; };
    rig.model.log.clear();
    for (const Step& step : steps)
        step(rig);

    if (selected.isEmpty()) {
        QVERIFY(rig.overlay());
        QVERIFY(rig.model.picking);
        QVERIFY(!rig.model.selected);
        QCOMPARE(rig.model.highlighted.value_or(QString()), highlighted);
        return;
    }
    // Targeting ends first, then the model takes the pins, and the panel keeps the keyboard.
    QCOMPARE(rig.model.log, QStringList({"picking false", "select " + selected}));
    QVERIFY(!targetingAtSelect);
    QVERIFY(rig.panel()->acceptsFocus());
    QCOMPARE(rig.model.highlighted, std::nullopt);
    const PickResult& last = rig.model.selected->back();
    QCOMPARE(last.screen, rig.simulator.screenRect);
    QCOMPARE(last.window.number, std::optional<quint32>(FakeSimulator::number));
    // A click's touch point is the click; the keyboard's is the middle of what shows of the element.
    const QRectF shown = last.frame ? last.frame->intersected(last.screen) : QRectF();
    QVERIFY(last.point == QPointF(QCursor::pos()) || last.point == shown.center());
}

void TestSimulatorPanelController::togglePickWithoutAccess_data() {
    QTest::addColumn<bool>("grantsOnRequest");
    QTest::addColumn<bool>("hasSettings");
    QTest::addColumn<int>("settingsOpened");

    QTest::newRow("granted when asked: no settings") << true << true << 0;
    QTest::newRow("still missing: the settings open") << false << true << 1;
    QTest::newRow("still missing, no settings known") << false << false << 0;
}

void TestSimulatorPanelController::togglePickWithoutAccess() {
    QFETCH(bool, grantsOnRequest);
    QFETCH(bool, hasSettings);
    QFETCH(int, settingsOpened);

    Rig rig;
    rig.desktop.accessibility.trusted = false;
    rig.desktop.accessibility.grantsOnRequest = grantsOnRequest;
    rig.desktop.accessibility.hasSettings = hasSettings;
    rig.controller->tick();
    rig.controller->togglePick();
    QVERIFY(!rig.overlay());
    QVERIFY(!rig.model.picking);
    QCOMPARE(rig.desktop.accessibility.settingsOpened, settingsOpened);
    QCOMPARE(rig.desktop.accessibility.trusted, grantsOnRequest);
    // The model hears of the new access on the next look.
    rig.controller->tick();
    QCOMPARE(rig.model.trusted, grantsOnRequest);
}

void TestSimulatorPanelController::windowSystemChanges_data() {
    QTest::addColumn<Step>("change");
    QTest::addColumn<int>("moves");
    QTest::addColumn<QStringList>("changes");

    QTest::newRow("nothing changed") << Step([](Rig&) {}) << 0 << QStringList();
    QTest::newRow("Simulator moved") << Step([](Rig& rig) {
        rig.simulator.moveTo(QRectF(200, 80, 420, 860));
    }) << 1 << QStringList();
    QTest::newRow("another window came between")
        << Step([](Rig& rig) { rig.simulator.anotherWindowInFront(); }) << 0
        << QStringList{QStringLiteral("above PANEL 7")};
    QTest::newRow("content grew") << Step([](Rig& rig) { rig.content->setFixedSize(300, 500); }) << 0
                                  << QStringList();
    QTest::newRow("targeting, Simulator moved") << Step([](Rig& rig) {
        QCursor::setPos(QPoint(300, 200));
        rig.controller->togglePick();
        rig.windows.changes.clear();
        rig.simulator.moveTo(QRectF(200, 80, 420, 860));
    }) << 1 << QStringList();
}

void TestSimulatorPanelController::windowSystemChanges() {
    QFETCH(Step, change);
    QFETCH(int, moves);
    QFETCH(QStringList, changes);

    Rig rig;
    rig.controller->tick();
    rig.controller->tick();
    MoveCounter counter;
    rig.panel()->installEventFilter(&counter);
    rig.windows.changes.clear();

    change(rig);
    for (int i = 0; i < 5; ++i)
        rig.controller->tick();
    QCoreApplication::processEvents();

    QCOMPARE(counter.moves, moves);
    changes.replaceInStrings(QStringLiteral("PANEL"), QString::number(rig.panel()->winId()));
    QCOMPARE(rig.windows.changes, changes);
    // Wherever it went, it is where it belongs, at its content's size.
    QCOMPARE(rig.panel()->size(), rig.content->size());
    QCOMPARE(rig.panel()->pos().y(), int(rig.simulator.frame.y()));
    QCOMPARE(rig.panel()->pos().x(), int(rig.simulator.frame.right()) + 8);
    if (rig.overlay())
        QCOMPARE(rig.overlay()->window()->geometry(), rig.simulator.frame.toRect());
}

void TestSimulatorPanelController::readsOfALook_data() {
    QTest::addColumn<Step>("change");
    QTest::addColumn<bool>("full"); // the device window looked for afresh, else only its title read
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("visible");

    const QString device = FakeSimulator::title;
    QTest::newRow("nothing changed") << Step([](Rig&) {}) << false << device << true;
    QTest::newRow("another application's window came in front")
        << Step([](Rig& rig) { rig.simulator.anotherWindowInFront(); }) << false << device << true;
    QTest::newRow("the device's title changed") << Step([](Rig& rig) {
        rig.simulator.window->set("AXTitle", QStringLiteral("iPhone SE \u2013 iOS 16.4"));
    }) << false << QStringLiteral("iPhone SE \u2013 iOS 16.4")
                                                << true;
    QTest::newRow("the device window moved")
        << Step([](Rig& rig) { rig.simulator.moveTo(QRectF(200, 80, 420, 860)); }) << true << device << true;
    // Paused in a debugger, say: the window stays, with the title it had.
    QTest::newRow("the title no longer answers")
        << Step([](Rig& rig) { rig.simulator.window->attributes.remove("AXTitle"); }) << false << device
        << true;
    QTest::newRow("the Simulator is hidden")
        << Step([](Rig& rig) { rig.desktop.applications.hidden.insert(FakeSimulator::pid); }) << false
        << device << false;
    QTest::newRow("access withdrawn") << Step([](Rig& rig) { rig.desktop.accessibility.trusted = false; })
                                      << false << QStringLiteral("Simulator") << true;
}

void TestSimulatorPanelController::readsOfALook() {
    QFETCH(Step, change);
    QFETCH(bool, full);
    QFETCH(QString, title);
    QFETCH(bool, visible);

    // The title read on every look, and then only once its interval is up.
    for (const auto titleRead :
         {std::chrono::milliseconds(0), std::chrono::milliseconds(std::chrono::hours(1))}) {
        Rig rig(SimulatorPanelController::Timings{.titleRead = titleRead});
        rig.controller->tick();
        rig.controller->tick();
        const int lists = rig.desktop.windows.reads;
        change(rig);
        rig.desktop.log->clear();
        rig.controller->tick();
        QCOMPARE(rig.desktop.windows.reads, lists + 1);
        QCOMPARE(rig.desktop.log->contains(QStringLiteral("app500.AXWindows")), full);
        if (!full && visible && rig.desktop.accessibility.trusted)
            QCOMPARE(*rig.desktop.log,
                     titleRead.count() ? QStringList() : QStringList{QStringLiteral("win.AXTitle")});
        QCOMPARE(rig.model.visible, visible);
        if (visible && (full || !titleRead.count()))
            QCOMPARE(rig.model.deviceTitle, title);
    }
}

void TestSimulatorPanelController::startsOneLoop() {
    // Ticks far apart: each loop makes exactly one look at once.
    Rig rig(SimulatorPanelController::Timings{std::chrono::hours(1)});
    QSignalSpy ticks(rig.controller.get(), &SimulatorPanelController::ticked);
    rig.controller->start();
    rig.controller->start();
    QCOMPARE(rig.model.controller, static_cast<PanelControl*>(rig.controller.get()));
    QCOMPARE(ticks.count(), 0); // the first look waits for the event loop
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 5000);
    QTest::qWait(50);
    QCOMPARE(ticks.count(), 1);
    // Polling starts once, after the first look has told the model the panel is shown.
    QCOMPARE(rig.model.pollingStarts, 1);
    QCOMPARE(rig.model.visibleWhenPollingStarted, std::optional<bool>(true));
    QVERIFY(rig.panelShown());

    // And the loop goes on at its interval.
    Rig fast(SimulatorPanelController::Timings{5ms});
    QSignalSpy fastTicks(fast.controller.get(), &SimulatorPanelController::ticked);
    fast.controller->start();
    QTRY_VERIFY_WITH_TIMEOUT(fastTicks.count() >= 5, 5000);
    fast.settings.setSimulatorPanel(false);
    QTRY_VERIFY_WITH_TIMEOUT(!fast.panelShown(), 5000);

    // Told of every change, it looks at a quiet desktop rarely, and soon after a change.
    Rig told(SimulatorPanelController::Timings{5ms, std::chrono::hours(1)});
    told.desktop.windows.tellsChanges = true;
    QSignalSpy toldTicks(told.controller.get(), &SimulatorPanelController::ticked);
    told.controller->start();
    QTRY_COMPARE_WITH_TIMEOUT(toldTicks.count(), 1, 5000);
    QTest::qWait(50);
    QCOMPARE(toldTicks.count(), 1);
    told.desktop.windows.changed();
    QTRY_COMPARE_WITH_TIMEOUT(toldTicks.count(), 2, 5000);
    told.settings.setSimulatorPanel(false);
    QTRY_VERIFY_WITH_TIMEOUT(!told.panelShown(), 5000);
}

void TestSimulatorPanelController::panel() {
    Rig rig;
    rig.controller->tick();
    FloatingPanel* panel = rig.panel();
    QVERIFY(panel);
    QCOMPARE(panel->windowTitle(), QStringLiteral("Simulator Panel"));
    QCOMPARE(panel->accessibleName(), QStringLiteral("Tallyrig Simulator Panel"));
    QVERIFY(panel->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(!panel->acceptsFocus());
    QCOMPARE(rig.content->parentWidget(), panel);
    QCOMPARE(panel->size(), rig.contentSize);

    // The Simulator goes and comes back: the same panel shows again.
    rig.simulator.quit();
    rig.controller->tick();
    QVERIFY(!panel->isVisible());
    rig.simulator.moveTo(rig.simulator.frame);
    rig.controller->tick();
    QCOMPARE(rig.panel(), panel);
    QVERIFY(panel->isVisible());
}

void TestSimulatorPanelController::targetingBringsTheSimulatorForward() {
    Rig rig;
    rig.controller->tick();
    rig.controller->togglePick(); // no window known yet would do nothing; here one is
    QVERIFY(rig.overlay());
    QVERIFY(rig.desktop.log->contains(QStringLiteral("app500.set AXFrontmost")));
    QVERIFY(rig.desktop.log->contains(QStringLiteral("win.perform AXRaise")));
    QCOMPARE(rig.overlay()->window()->geometry(), rig.simulator.frame.toRect());
    QVERIFY(rig.overlay()->window()->isVisible());

    Rig early;
    early.controller->togglePick();
    QVERIFY(!early.overlay());
    QVERIFY(!early.model.picking);
}

using Control = std::function<QWidget*(QWidget* parent)>;
Q_DECLARE_METATYPE(Control)

void TestSimulatorPanelController::panelTakesTheKeyboard_data() {
    QTest::addColumn<Control>("control");
    QTest::addColumn<bool>("takes");

    QTest::newRow("a text field") << Control([](QWidget* parent) { return new QLineEdit(parent); }) << true;
    QTest::newRow("a text area") << Control([](QWidget* parent) { return new QPlainTextEdit(parent); })
                                 << true;
    QTest::newRow("a read-only text area") << Control([](QWidget* parent) {
        auto* text = new QPlainTextEdit(parent);
        text->setReadOnly(true);
        return text;
    }) << false;
    QTest::newRow("a disabled text field") << Control([](QWidget* parent) {
        auto* field = new QLineEdit(parent);
        field->setEnabled(false);
        return field;
    }) << false;
    QTest::newRow("a button") << Control([](QWidget* parent) { return new QPushButton("Hide", parent); })
                              << false;
    QTest::newRow("a label") << Control([](QWidget* parent) { return new QLabel("Tallyrig", parent); })
                             << false;
}

void TestSimulatorPanelController::panelTakesTheKeyboard() {
    QFETCH(Control, control);
    QFETCH(bool, takes);

    FakeWindowSystem windows;
    FloatingPanel panel(windows, false);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    QWidget* pressed = control(content);
    layout->addWidget(pressed);
    panel.setContent(content);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QVERIFY(!panel.acceptsFocus());
    // Through the window, as the window system delivers it.
    QTest::mousePress(panel.windowHandle(), Qt::LeftButton, {}, pressed->mapTo(&panel, QPoint(5, 5)));
    QCOMPARE(panel.acceptsFocus(), takes);
    QCOMPARE(windows.acceptsFocus.value(quint32(panel.winId())), takes);
}

QTEST_MAIN(TestSimulatorPanelController)
#include "tst_simulatorpanelcontroller.moc"

// A desktop application's window instead of the Simulator: chosen with a click, followed, lost,
// found again after a relaunch, remembered per project.
void TestSimulatorPanelController::followsAChosenWindow() {
    SimulatorPanelController::Timings timings;
    timings.titleRead = 0ms;
    timings.publishWait = 0ms;
    Rig rig(timings);
    constexpr qint32 app = 700;
    const QRectF appFrame(900, 100, 500, 400);
    const auto listApp = [&](qint32 pid, quint32 number) {
        rig.desktop.applications.identifiers.insert(pid, QStringLiteral("Gtk4-widget-factory"));
        rig.desktop.applications.executables.insert(pid, QStringLiteral("/usr/bin/gtk4-widget-factory"));
        rig.desktop.windows.titles.insert(number, QStringLiteral("Widget Factory"));
        auto entry = FakeWindowList::entry(pid, number, appFrame);
        entry.clientBounds = appFrame.adjusted(0, 28, 0, 0);
        rig.desktop.windows.entries->insert(rig.desktop.windows.entries->begin(), entry);
    };
    listApp(app, 70);
    rig.windows.pictures.insert(70, QByteArray("png of 70"));
    rig.controller->tick();
    QCOMPARE(rig.model.deviceTitle, FakeSimulator::title);

    // Escape leaves the Simulator followed.
    QVERIFY(rig.controller->chooseTarget());
    QCOMPARE(rig.windows.shields.size(), 1);
    rig.windows.pressEscape();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.controller->isChoosing(), 5000);
    QVERIFY(!rig.controller->target());

    // A click on the desktop's empty part leaves the chooser armed; one on the window chooses it.
    QVERIFY(rig.controller->chooseTarget());
    rig.windows.shields.first()->events.leftPressed(QPointF(5, 990), {});
    QTest::qWait(10);
    QVERIFY(rig.controller->isChoosing());
    rig.windows.shields.first()->events.leftPressed(QPointF(1000, 200), {});
    QTRY_VERIFY_WITH_TIMEOUT(rig.controller->target().has_value(), 5000);
    QVERIFY(rig.windows.shields.isEmpty() && rig.windows.escapeWatches.isEmpty());
    QVERIFY(rig.model.followsWindow);
    rig.controller->tick();
    QCOMPARE(rig.controller->window()->kind, SimulatorWindow::Kind::Window);
    QCOMPARE(rig.controller->window()->number, std::optional<quint32>(70));
    QCOMPARE(rig.model.deviceTitle, QStringLiteral("Widget Factory"));
    // No tree: named after its program, and placed beside it like the Simulator's.
    QCOMPARE(rig.controller->window()->application->name, QStringLiteral("gtk4-widget-factory"));
    QCOMPARE(rig.panel()->geometry().topLeft(), QPoint(int(appFrame.left()) - 8 - 300, 100));
    QCOMPARE(rig.controller->targetPicture(), QByteArray("png of 70"));
    // An application that publishes no tree is asked to, then the panel says once what it needs.
    QVERIFY(rig.model.told.isEmpty());
    rig.controller->tick();
    rig.controller->tick();
    QCOMPARE(rig.model.told,
             QStringList{
                 "gtk4-widget-factory shares no elements. Chromium and Electron apps share them when started "
                 "with --force-renderer-accessibility, Qt apps with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1."});

    // Closed: the panel stays and offers to choose again.
    std::erase_if(*rig.desktop.windows.entries,
                  [&](const platform::WindowEntry& e) { return e.ownerPid == app; });
    rig.controller->tick();
    QVERIFY(rig.panelShown());
    QCOMPARE(rig.model.offer.value_or(TargetingOffer{}).text, QStringLiteral("The target window closed"));
    QVERIFY(rig.controller->targetPicture().isEmpty());
    // Relaunched: the same program and class in another process is followed.
    listApp(app + 1, 71);
    rig.controller->tick();
    QCOMPARE(rig.controller->window()->number, std::optional<quint32>(71));
    QCOMPARE(rig.model.offer, std::nullopt);

    // Kept for the project it was chosen in; another project keeps it too, until changed there.
    rig.controller->setProject(QStringLiteral("/work/a"));
    QCOMPARE(rig.settings.targetWindow(QStringLiteral("/work/a")),
             std::optional(Settings::TargetWindow{"Gtk4-widget-factory", "/usr/bin/gtk4-widget-factory"}));
    rig.controller->setProject(QStringLiteral("/work/b"));
    rig.controller->followSimulator();
    QCOMPARE(rig.settings.targetWindow(QStringLiteral("/work/b")), std::nullopt);
    rig.controller->tick();
    QCOMPARE(rig.model.deviceTitle, FakeSimulator::title);
    rig.controller->setProject(QStringLiteral("/work/a"));
    rig.controller->tick();
    QCOMPARE(rig.controller->window()->number, std::optional<quint32>(71));

    // The offer's other answer goes back to the Simulator.
    std::erase_if(*rig.desktop.windows.entries,
                  [&](const platform::WindowEntry& e) { return e.ownerPid == app + 1; });
    rig.controller->tick();
    rig.controller->answerOffer(false);
    rig.controller->tick();
    QVERIFY(!rig.controller->target());
    QCOMPARE(rig.model.deviceTitle, FakeSimulator::title);
}

// A device whose screen in the window shows nothing (iOS 26 keeps its accessibility off): its own
// tree is read through the element tool while "Reading the screen…" shows, and the panel offers once
// to turn the device's accessibility on, changing nothing before the yes.
void TestSimulatorPanelController::readsABareDevice() {
    Rig rig;
    rig.simulator.screen->setChildren({});
    const QByteArray listing =
        R"({"devices":{"iOS-26-0":[{"state":"Booted","udid":"U1","name":"iPhone 15 Pro"}]}})";
    FakeSimulatorTool simctl(FakeSimulatorTool::device(listing, testPng(1080, 2220)));
    QByteArray tree = R"([{"type":"Application","frame":{"x":0,"y":0,"width":360,"height":740}}])";
    FakeSimulatorTool axe([&](const QStringList&) { return platform::ToolRun{{}, 0, tree}; });
    rig.controller->setTools(&simctl, &axe);
    const auto target = [&] {
        rig.controller->tick();
        simctl.holding = true;
        rig.controller->togglePick();
        QVERIFY(rig.model.picking && rig.model.reading && !rig.overlay());
        simctl.holding = false;
        simctl.release(0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.overlay(), 5000);
        QVERIFY(!rig.model.reading);
    };

    target();
    QCOMPARE(axe.calls.value(0), (QStringList{"describe-ui", "--udid", "U1"}));
    // Laid over the live window, on the screen its tree shows: no canvas, no screenshot.
    QCOMPARE(rig.overlay()->screen(), rig.simulator.screenRect);
    QVERIFY(!rig.overlay()->target().canvas);
    QCOMPARE(rig.model.offer.value_or(TargetingOffer{}).accept, QStringLiteral("Turn On"));
    QVERIFY(rig.model.offer->text.contains(QStringLiteral("AccessibilityEnabled")));
    QVERIFY(std::none_of(simctl.calls.begin(), simctl.calls.end(),
                         [](const QStringList& call) { return call.contains(QStringLiteral("spawn")); }));
    // Once written, the device shares its elements, and targeting starts again to read them.
    tree = R"([{"type":"Application","frame":{"x":0,"y":0,"width":360,"height":740},"children":[
                {"type":"Button","AXUniqueId":"saveButton","frame":{"x":20,"y":270,"width":320,"height":44}}]}])";
    rig.controller->answerOffer(true);
    QTRY_VERIFY_WITH_TIMEOUT(rig.overlay() && rig.overlay()->target().source == TargetScreen::Source::Device,
                             5000);
    QCOMPARE(simctl.calls.value(2),
             (QStringList{"simctl", "spawn", "U1", "defaults", "write", "com.apple.Accessibility",
                          "ApplicationAccessibilityEnabled", "-bool", "true"}));
    QCOMPARE(rig.model.offer, std::nullopt);
    // Hit here, in device points laid on the window's screen.
    rig.overlay()->hover(QPointF(200, 420));
    QCOMPARE(rig.overlay()->highlighted().value_or(PickResult{}).identifier,
             std::optional<QString>("saveButton"));
    rig.controller->cancelPick();
    target();
    QCOMPARE(rig.model.offer, std::nullopt);
}
