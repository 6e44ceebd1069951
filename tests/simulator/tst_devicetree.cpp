#include "foundation/Failure.h"
#include "simulator/DeviceTree.h"
#include "simulator/ElementSource.h"
#include "simulator/TargetScreen.h"
#include "support/FakeSimulatorTool.h"
#include "support/Settle.h"
#include "support/TestPng.h"

#include <QTest>

namespace {

// A tree as AXe prints it: an application 300 × 600 points holding a group with two buttons, the
// second lying over the first's right half, and a label.
QByteArray tree(const char* rootFrame = R"({"x":0,"y":0,"width":300,"height":600})") {
    return QByteArray(R"([{"type":"Application","role":"AXApplication","AXLabel":"Settings","frame":)") +
           rootFrame +
           R"(,"children":[
             {"type":"Group","frame":{"x":0,"y":300,"width":300,"height":200},"children":[
               {"type":"Button","AXUniqueId":"saveButton","AXLabel":"Save",
                "frame":{"x":20,"y":376,"width":260,"height":44},"children":[]},
               {"type":"Button","AXIdentifier":"moreButton","AXLabel":" ","title":"More",
                "frame":{"x":150,"y":376,"width":130,"height":44}}]},
             {"role":"AXStaticText","AXValue":"Profile","frame":{"x":20,"y":52,"width":160,"height":36}},
             {"type":"Other","frame":{"x":10,"y":10,"width":-5,"height":20}}]}])";
}

const QByteArray listing = R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-26-0":[)"
                           R"({"state":"Booted","udid":"UDID-1","name":"iPhone 17 Pro"}]}})";

} // namespace

class TestDeviceTree : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void hitAndStops();
    void snapshotOnAScreen();
    void fromDevice_data();
    void fromDevice();
};

void TestDeviceTree::parse_data() {
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("failure"); // empty: parsed
    QTest::addColumn<int>("nodes");
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<bool>("bare");

    QTest::newRow("AXe's array") << tree() << "" << 6 << QSizeF(300, 600) << false;
    QTest::newRow("one object, as for a point")
        << QByteArray(R"({"type":"Button","frame":{"x":1,"y":2,"width":3,"height":4}})") << "" << 1
        << QSizeF(3, 4) << true;
    QTest::newRow("a 0 × 0 root keeps its elements")
        << tree(R"({"x":0,"y":0,"width":0,"height":0})") << "" << 6 << QSizeF(0, 0) << false;
    QTest::newRow("a root without a frame") << tree("null") << "" << 6 << QSizeF(0, 0) << false;
    QTest::newRow("accessibility off: the application alone")
        << QByteArray(
               R"([{"type":"Application","frame":{"x":0,"y":0,"width":402,"height":874},"children":[]}])")
        << "" << 1 << QSizeF(402, 874) << true;
    QTest::newRow("what a failed run leaves on standard output")
        << QByteArray()
        << QStringLiteral("The simulator\u2019s element tree isn\u2019t valid JSON (at byte 1)") << 0
        << QSizeF() << false;
    QTest::newRow("text, not a tree")
        << QByteArray("Error: No simulator with UDID X was found.")
        << QStringLiteral("The simulator\u2019s element tree isn\u2019t valid JSON (at byte 1)") << 0
        << QSizeF() << false;
    QTest::newRow("nothing in it") << QByteArray("[]")
                                   << QStringLiteral("The simulator\u2019s element tree is empty") << 0
                                   << QSizeF() << false;
    QTest::newRow("no object in it") << QByteArray(R"([1, "two", null])")
                                     << QStringLiteral("The simulator\u2019s element tree is empty") << 0
                                     << QSizeF() << false;
}

void TestDeviceTree::parse() {
    QFETCH(QByteArray, output);
    QFETCH(QString, failure);
    QFETCH(int, nodes);
    QFETCH(QSizeF, size);
    QFETCH(bool, bare);
    DeviceTree::Tree parsed;
    try {
        parsed = DeviceTree::parse(output);
    } catch (const Failure& failed) {
        QCOMPARE(failed.description(), failure);
        return;
    }
    QVERIFY2(failure.isEmpty(), "parsed what should have failed");
    QCOMPARE(int(parsed.nodes.size()), nodes);
    QCOMPARE(parsed.size, size);
    QCOMPARE(parsed.bare(), bare);
}

void TestDeviceTree::hitAndStops() {
    const DeviceTree::Tree parsed = DeviceTree::parse(tree());
    const auto hit = [&](QPointF at) -> QString {
        const std::optional<int> found = DeviceTree::at(parsed, at);
        if (!found)
            return QStringLiteral("-");
        const DeviceTree::Node& node = parsed.nodes[std::size_t(*found)];
        return node.identifier.value_or(node.label.value_or(node.role));
    };
    QCOMPARE(hit({30, 390}), QStringLiteral("saveButton"));
    // The later sibling lies in front.
    QCOMPARE(hit({200, 390}), QStringLiteral("moreButton"));
    // A group with nothing under the point is what is there.
    QCOMPARE(hit({30, 450}), QStringLiteral("Group"));
    QCOMPARE(hit({30, 60}), QStringLiteral("Profile"));
    // The application's background, and beyond the screen.
    QCOMPARE(hit({250, 100}), QStringLiteral("-"));
    QCOMPARE(hit({310, 390}), QStringLiteral("-"));
    // A 0 × 0 root holds nothing, yet its elements are still found.
    QCOMPARE(DeviceTree::at(DeviceTree::parse(tree(R"({"x":0,"y":0,"width":0,"height":0})")), {30, 390}),
             DeviceTree::at(parsed, {30, 390}));

    QStringList names;
    for (const int index : DeviceTree::stops(parsed)) {
        const DeviceTree::Node& node = parsed.nodes[std::size_t(index)];
        names << node.identifier.value_or(node.label.value_or(node.role)) + QLatin1Char(' ') + node.role;
    }
    // Through the group; the blank label gives way to the title; a frame of negative width is none.
    QCOMPARE(names, QStringList({"saveButton Button", "moreButton Button", "Profile StaticText"}));
    QCOMPARE(parsed.nodes[2].label, std::optional<QString>("Save"));
    QCOMPARE(parsed.nodes[3].label, std::optional<QString>("More"));
}

void TestDeviceTree::snapshotOnAScreen() {
    // Laid on a screen half as large as the device, 100 points in from the desktop's corner.
    const auto source = ElementSources::snapshot(DeviceTree::parse(tree()), QSizeF(300, 600));
    const QRectF screen(100, 50, 150, 300);
    const SimulatorWindow window;
    const PickResult save = source->element(QPointF(115, 245), window, screen);
    QCOMPARE(save.identifier, std::optional<QString>("saveButton"));
    QCOMPARE(save.role, QStringLiteral("Button"));
    QCOMPARE(save.frame, std::optional<QRectF>(QRectF(110, 238, 130, 22)));
    QCOMPARE(save.screen, screen);
    // Outside the screen: the screen itself, whatever the tree holds there.
    QCOMPARE(source->element(QPointF(99, 245), window, screen).role, QStringLiteral("Screen"));

    QStringList order;
    for (const PickResult& pick : source->elements(window, screen))
        order << pick.identifier.value_or(pick.label.value_or(QString()));
    QCOMPARE(order, QStringList({"Profile", "saveButton", "moreButton"}));

    QCOMPARE(ElementSources::none()->element(QPointF(115, 245), window, screen).role,
             QStringLiteral("Screen"));
}

using Answer = FakeSimulatorTool::Answer;
Q_DECLARE_METATYPE(Answer)

void TestDeviceTree::fromDevice_data() {
    QTest::addColumn<Answer>("simulators");
    QTest::addColumn<Answer>("axe");       // null: no element tool at all
    QTest::addColumn<bool>("screenShown"); // the window's tree shows the screen at (100, 50, 150, 300)
    QTest::addColumn<QString>("source");
    QTest::addColumn<QRectF>("screen");
    QTest::addColumn<QSizeF>("canvas"); // the still's points; empty: no canvas
    QTest::addColumn<QString>("problem");
    QTest::addColumn<bool>("bare");

    const Answer device = FakeSimulatorTool::device(listing, testPng(900, 1800));
    const auto printing = [](QByteArray output, int status = 0) {
        return Answer([output, status](const QStringList&) { return platform::ToolRun{{}, status, output}; });
    };
    const Answer missing = [](const QStringList&) {
        return platform::ToolRun{QStringLiteral("AXe isn\u2019t installed"), 0, {}};
    };
    // The device window at (0, 0, 400, 700), its content below a 28-point title bar.
    const QRectF fitted(32, 28, 336, 672);
    const QRectF shown(100, 50, 150, 300);
    const QString install = QStringLiteral(
        "Elements can\u2019t be read from this window. To read them from the simulator itself, install AXe: "
        "brew install cameroncooke/axe/axe");

    QTest::newRow("no tree in the window: a canvas of the tree's size")
        << device << printing(tree()) << false << "Device" << fitted << QSizeF(300, 600) << "" << false;
    QTest::newRow("a screen in the window: no canvas, no screenshot")
        << Answer([](const QStringList& arguments) {
               platform::ToolRun run;
               if (arguments.value(1) == QLatin1String("io"))
                   run.exitStatus = 1;
               else
                   run.output = listing;
               return run;
           })
        << printing(tree()) << true << "Device" << shown << QSizeF() << "" << false;
    QTest::newRow("a 0 × 0 root: the screenshot tells the size")
        << device << printing(tree(R"({"x":0,"y":0,"width":0,"height":0})")) << false << "Device" << fitted
        << QSizeF(300, 600) << "" << false;
    QTest::newRow("AXe missing: the canvas, and how to install it")
        << device << Answer() << false << "None" << fitted << QSizeF(300, 600) << install << false;
    QTest::newRow("AXe that cannot start")
        << device << missing << true << "None" << shown << QSizeF() << install << false;
    QTest::newRow("AXe failing") << device << printing("", 1) << false << "None" << fitted << QSizeF(300, 600)
                                 << "Couldn\u2019t read the simulator\u2019s elements: AXe failed (status 1)"
                                 << false;
    QTest::newRow("AXe killed at its time limit")
        << device << printing("", -1) << true << "None" << shown << QSizeF()
        << "Couldn\u2019t read the simulator\u2019s elements: AXe didn\u2019t answer" << false;
    QTest::newRow("AXe printing something else")
        << device << printing("Accessibility hierarchy could not be serialized.") << true << "None" << shown
        << QSizeF()
        << "Couldn\u2019t read the simulator\u2019s elements: The simulator\u2019s element tree isn\u2019t "
           "valid "
           "JSON (at byte 1)"
        << false;
    QTest::newRow("accessibility off in the device")
        << device << printing(R"([{"type":"Application","frame":{"x":0,"y":0,"width":300,"height":600}}])")
        << false << "None" << fitted << QSizeF(300, 600) << "" << true;
    QTest::newRow("a shut-down device: none booted, nothing asked of AXe")
        << FakeSimulatorTool::device(R"({"devices":{}})", QByteArray()) << printing(tree()) << false << "None"
        << QRectF(0, 0, 400, 700) << QSizeF()
        << "Couldn\u2019t find the simulator\u2019s device: No booted simulator" << false;
    QTest::newRow("no screenshot: no canvas")
        << FakeSimulatorTool::device(listing, QByteArray("not a picture")) << printing(tree()) << false
        << "None" << QRectF(0, 0, 400, 700) << QSizeF()
        << "Couldn\u2019t capture the simulator: Unreadable screenshot" << false;
}

void TestDeviceTree::fromDevice() {
    QFETCH(Answer, simulators);
    QFETCH(Answer, axe);
    QFETCH(bool, screenShown);
    QFETCH(QString, source);
    QFETCH(QRectF, screen);
    QFETCH(QSizeF, canvas);
    QFETCH(QString, problem);
    QFETCH(bool, bare);

    FakeSimulatorTool simctl(simulators);
    FakeSimulatorTool elementTool(axe);
    SimulatorWindow window;
    window.pid = 1;
    window.frame = QRectF(0, 0, 400, 700);
    window.title = QStringLiteral("Simulator");
    window.content = QRectF(0, 28, 400, 672);
    window.listedTitle = QStringLiteral("iPhone 17 Pro \u2013 iOS 26.0");
    const auto shown = screenShown ? std::optional(QRectF(100, 50, 150, 300)) : std::nullopt;
    const auto settled =
        settle(TargetScreens::fromDevice(window, shown, simctl, axe ? &elementTool : nullptr));
    QVERIFY(settled.value);
    const TargetScreen& target = *settled.value;
    const char* names[] = {"Window", "Device", "None"};
    QCOMPARE(QString::fromLatin1(names[int(target.source)]), source);
    QCOMPARE(target.screen, screen);
    QCOMPARE(target.still ? target.still->points : QSizeF(), canvas);
    if (target.still)
        QCOMPARE(target.still->device.udid, QStringLiteral("UDID-1"));
    QCOMPARE(target.problem.value_or(QString()), problem);
    QCOMPARE(target.bare.has_value(), bare);
    // The tree is asked of the device the window shows, by its udid.
    if (axe && !elementTool.calls.isEmpty())
        QCOMPARE(elementTool.calls.first(), TargetScreens::describeArguments(QStringLiteral("UDID-1")));
    // A canvas follows the window's content as it moves.
    if (target.still) {
        SimulatorWindow moved;
        moved.frame = QRectF(10, 0, 400, 700);
        QCOMPARE(target.screenIn(moved), QRectF(35, 0, 350, 700));
    }
}

QTEST_GUILESS_MAIN(TestDeviceTree)
#include "tst_devicetree.moc"
