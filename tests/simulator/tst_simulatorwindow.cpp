#include "simulator/AX.h"
#include "simulator/SimulatorWindow.h"
#include "support/TargetingThrough.h"

#include <QTest>

#include <functional>

using platform::AXElementRef;
using Setup = std::function<void(FakeDesktop&)>;
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(platform::AXValue)

namespace {

constexpr qint32 simulatorPid = 500;
constexpr qint32 terminalPid = 100;
const QRectF deviceBounds(100, 50, 420, 860);
const QRectF otherBounds(600, 50, 420, 860);

// A desktop with a terminal and the Simulator, both applications, and no windows yet.
void applications(FakeDesktop& desktop,
                  const QString& simulator = QStringLiteral("com.apple.iphonesimulator")) {
    desktop.applications.identifiers.insert(terminalPid, QStringLiteral("org.gnome.Terminal"));
    desktop.applications.identifiers.insert(simulatorPid, simulator);
}

void list(FakeDesktop& desktop, std::vector<platform::WindowEntry> entries) {
    desktop.windows.entries = std::move(entries);
}

// A standard accessibility window of the Simulator with this identifier ("" for none).
std::shared_ptr<FakeAXElement>
axWindow(FakeDesktop& desktop, const QString& name, const QRectF& rect, const QString& identifier = QString(),
         const QString& title = QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2")) {
    auto window = desktop.element(name);
    window->set("AXSubrole", QStringLiteral("AXStandardWindow")).set("AXTitle", title).setFrame(rect);
    if (!identifier.isEmpty())
        window->set("AXIdentifier", identifier);
    return window;
}

void axWindows(FakeDesktop& desktop, const QList<std::shared_ptr<FakeAXElement>>& windows) {
    QList<AXElementRef> elements(windows.begin(), windows.end());
    desktop.application(simulatorPid).set("AXWindows", elements);
}

// The everyday desktop: a terminal in front of one device window that accessibility agrees with.
void everyday(FakeDesktop& desktop) {
    applications(desktop);
    list(desktop, {FakeWindowList::entry(terminalPid, 1, QRectF(0, 0, 800, 600)),
                   FakeWindowList::entry(simulatorPid, 7, deviceBounds)});
    axWindows(desktop, {axWindow(desktop, "device", deviceBounds, "deviceWindow-A")});
}

} // namespace

class TestSimulatorWindow : public QObject {
    Q_OBJECT
private slots:
    void front_data();
    void front();
    void aWindowWithoutATreeIsNamedByItsListedTitle();
    void screenRect_data();
    void screenRect();
    void isDirectlyAbove_data();
    void isDirectlyAbove();
    void attributeKinds_data();
    void attributeKinds();
    void cleanup() { checkReleased(); }
};

void TestSimulatorWindow::front_data() {
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("title"); // "-": no window found
    QTest::addColumn<QRectF>("frame");
    QTest::addColumn<quint32>("number");
    QTest::addColumn<QString>("axWindow"); // the chosen element's name; "" for none

    const QString device = QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2");
    const auto none = [](const char* name, Setup setup) {
        QTest::newRow(name) << setup << "-" << QRectF() << 0u << "";
    };
    // A tree that describes none of the listed windows: the front one, as without access.
    const auto unnamed = [](const char* name, Setup setup) {
        QTest::newRow(name) << setup << "Simulator" << deviceBounds << 7u << "";
    };

    QTest::newRow("found behind another application's window")
        << Setup(everyday) << device << deviceBounds << 7u << "device";
    none("window list unreadable", [](FakeDesktop& d) {
        everyday(d);
        d.windows.entries.reset();
    });
    none("no Simulator running", [](FakeDesktop& d) {
        everyday(d);
        d.applications.identifiers.remove(simulatorPid);
    });
    none("identifier compared exactly", [](FakeDesktop& d) {
        everyday(d);
        d.applications.identifiers.insert(simulatorPid, "com.apple.iPhoneSimulator");
    });
    QTest::newRow("the Devices application counts") << Setup([](FakeDesktop& d) {
        everyday(d);
        d.applications.identifiers.insert(simulatorPid, "com.apple.dt.Devices");
    }) << device << deviceBounds << 7u << "device";
    none("Simulator hidden", [](FakeDesktop& d) {
        everyday(d);
        d.applications.hidden.insert(simulatorPid);
    });
    none("only windows of 100 points or less on a side", [](FakeDesktop& d) {
        everyday(d);
        list(d, {FakeWindowList::entry(simulatorPid, 7, QRectF(100, 50, 100, 860)),
                 FakeWindowList::entry(simulatorPid, 8, QRectF(100, 50, 420, 100)),
                 FakeWindowList::entry(simulatorPid, 9, QRectF(100, 50, 100, 100))});
        axWindows(d, {axWindow(d, "narrow", QRectF(100, 50, 100, 860), "deviceWindow-A"),
                      axWindow(d, "flat", QRectF(100, 50, 420, 100), "deviceWindow-B")});
    });
    none("windows off the normal layer, without number or without bounds", [](FakeDesktop& d) {
        everyday(d);
        auto floating = FakeWindowList::entry(simulatorPid, 7, deviceBounds, 3);
        auto unnumbered = FakeWindowList::entry(simulatorPid, 7, deviceBounds);
        unnumbered.number.reset();
        auto unbounded = FakeWindowList::entry(simulatorPid, 7, deviceBounds);
        unbounded.bounds.reset();
        auto layerless = FakeWindowList::entry(simulatorPid, 7, deviceBounds);
        layerless.layer.reset();
        list(d, {floating, unnumbered, unbounded, layerless});
    });
    QTest::newRow("not trusted: the front large window, titled Simulator") << Setup([](FakeDesktop& d) {
        everyday(d);
        d.accessibility.trusted = false;
        list(d, {FakeWindowList::entry(simulatorPid, 3, QRectF(0, 0, 90, 90)),
                 FakeWindowList::entry(terminalPid, 1, QRectF(0, 0, 800, 600)),
                 FakeWindowList::entry(simulatorPid, 8, otherBounds),
                 FakeWindowList::entry(simulatorPid, 7, deviceBounds)});
    }) << "Simulator" << otherBounds << 8u << "";
    unnamed("no accessibility tree for the process", [](FakeDesktop& d) {
        everyday(d);
        d.accessibility.applications.clear();
    });
    unnamed("no AXWindows", [](FakeDesktop& d) {
        everyday(d);
        d.application(simulatorPid).attributes.remove("AXWindows");
    });
    unnamed("AXWindows of another kind", [](FakeDesktop& d) {
        everyday(d);
        d.application(simulatorPid).set("AXWindows", QStringLiteral("windows"));
    });
    unnamed("an application that never answers", [](FakeDesktop& d) {
        everyday(d);
        d.application(simulatorPid).answers = false;
    });
    QTest::newRow("two device windows: the first in accessibility order") << Setup([](FakeDesktop& d) {
        everyday(d);
        list(d, {FakeWindowList::entry(simulatorPid, 7, deviceBounds),
                 FakeWindowList::entry(simulatorPid, 8, otherBounds)});
        axWindows(d, {axWindow(d, "second", otherBounds, "deviceWindow-B", "iPad \u2013 iOS 16.4"),
                      axWindow(d, "first", deviceBounds, "deviceWindow-A")});
    }) << QStringLiteral("iPad \u2013 iOS 16.4") << otherBounds << 8u << "second";
    QTest::newRow("a device window whose rectangle matches no listed window is passed over")
        << Setup([](FakeDesktop& d) {
               everyday(d);
               axWindows(d, {axWindow(d, "offscreen", QRectF(2000, 0, 420, 860), "deviceWindow-B"),
                             axWindow(d, "device", deviceBounds, "deviceWindow-A")});
           })
        << device << deviceBounds << 7u << "device";
    unnamed("rectangle matching nothing", [](FakeDesktop& d) {
        everyday(d);
        axWindows(d, {axWindow(d, "device", deviceBounds.adjusted(0, 0, 1, 0), "deviceWindow-A")});
    });
    QTest::newRow("a minimised device window is skipped") << Setup([](FakeDesktop& d) {
        everyday(d);
        list(d, {FakeWindowList::entry(simulatorPid, 7, deviceBounds),
                 FakeWindowList::entry(simulatorPid, 8, otherBounds)});
        auto minimised = axWindow(d, "minimised", otherBounds, "deviceWindow-B");
        minimised->set("AXMinimized", true);
        axWindows(d, {minimised, axWindow(d, "device", deviceBounds, "deviceWindow-A")});
    }) << device << deviceBounds << 7u << "device";
    QTest::newRow("AXMinimized that is not a Boolean counts as not minimised") << Setup([](FakeDesktop& d) {
        everyday(d);
        auto window = axWindow(d, "device", deviceBounds, "deviceWindow-A");
        window->set("AXMinimized", QStringLiteral("true"));
        axWindows(d, {window});
    }) << device << deviceBounds << 7u << "device";
    QTest::newRow("windows without the standard subrole are not searched") << Setup([](FakeDesktop& d) {
        everyday(d);
        list(d, {FakeWindowList::entry(simulatorPid, 7, deviceBounds),
                 FakeWindowList::entry(simulatorPid, 8, otherBounds)});
        auto bare = axWindow(d, "bare", otherBounds, "deviceWindow-B");
        bare->attributes.remove("AXSubrole");
        auto dialog = axWindow(d, "dialog", otherBounds, "deviceWindow-C");
        dialog->set("AXSubrole", QStringLiteral("AXDialog"));
        axWindows(d, {bare, dialog, axWindow(d, "device", deviceBounds, "deviceWindow-A")});
    }) << device << deviceBounds << 7u << "device";
    QTest::newRow("a window without the prefix is skipped beside one with it") << Setup([](FakeDesktop& d) {
        everyday(d);
        list(d, {FakeWindowList::entry(simulatorPid, 8, otherBounds),
                 FakeWindowList::entry(simulatorPid, 7, deviceBounds)});
        axWindows(d, {axWindow(d, "plain", otherBounds, "", "Organizer"),
                      axWindow(d, "device", deviceBounds, "deviceWindow-A")});
    }) << device << deviceBounds << 7u << "device";
    QTest::newRow("the prefix is case-sensitive: fallback takes the first standard window")
        << Setup([](FakeDesktop& d) {
               everyday(d);
               list(d, {FakeWindowList::entry(simulatorPid, 8, otherBounds),
                        FakeWindowList::entry(simulatorPid, 7, deviceBounds)});
               axWindows(d, {axWindow(d, "plain", otherBounds, "", "Organizer"),
                             axWindow(d, "device", deviceBounds, "DeviceWindow-A")});
           })
        << "Organizer" << otherBounds << 8u << "plain";
    QTest::newRow("fallback skips Device Hub and Devices, not titles beginning so")
        << Setup([](FakeDesktop& d) {
               everyday(d);
               const QRectF third(0, 0, 300, 300);
               list(d, {FakeWindowList::entry(simulatorPid, 7, deviceBounds),
                        FakeWindowList::entry(simulatorPid, 8, otherBounds),
                        FakeWindowList::entry(simulatorPid, 9, third)});
               axWindows(d, {axWindow(d, "hub", deviceBounds, "", "Device Hub"),
                             axWindow(d, "devices", otherBounds, "", "Devices"),
                             axWindow(d, "more", third, "", "Devices and more")});
           })
        << "Devices and more" << QRectF(0, 0, 300, 300) << 9u << "more";
    none("a tree that describes the windows but offers only Devices", [](FakeDesktop& d) {
        everyday(d);
        axWindows(d, {axWindow(d, "devices", deviceBounds, "", "Devices")});
    });
    QTest::newRow("a device window titled Devices is taken outside fallback") << Setup([](FakeDesktop& d) {
        everyday(d);
        axWindows(d, {axWindow(d, "device", deviceBounds, "deviceWindow-A", "Devices")});
    }) << "Devices" << deviceBounds << 7u << "device";
    QTest::newRow("fractional rectangle matches by integral rectangle; frame from the list")
        << Setup([](FakeDesktop& d) {
               everyday(d);
               list(d, {FakeWindowList::entry(simulatorPid, 7, QRectF(10, 20, 301, 601))});
               axWindows(d, {axWindow(d, "device", QRectF(10.4, 20.6, 300.2, 600.1), "deviceWindow-A")});
           })
        << device << QRectF(10, 20, 301, 601) << 7u << "device";
    QTest::newRow("the window's rectangle without the title bar matches too") << Setup([](FakeDesktop& d) {
        everyday(d);
        auto entry = FakeWindowList::entry(simulatorPid, 7, QRectF(100, 22, 420, 888));
        entry.clientBounds = deviceBounds;
        list(d, {entry});
    }) << device << QRectF(100, 22, 420, 888) << 7u << "device";
    QTest::newRow("of two listed windows with one rectangle, the front one") << Setup([](FakeDesktop& d) {
        everyday(d);
        list(d, {FakeWindowList::entry(simulatorPid, 9, deviceBounds),
                 FakeWindowList::entry(simulatorPid, 7, deviceBounds)});
    }) << device << deviceBounds << 9u << "device";
    QTest::newRow("a position of another kind passes the window over") << Setup([](FakeDesktop& d) {
        everyday(d);
        list(d, {FakeWindowList::entry(simulatorPid, 7, deviceBounds),
                 FakeWindowList::entry(simulatorPid, 8, otherBounds)});
        auto broken = axWindow(d, "broken", otherBounds, "deviceWindow-B");
        broken->set("AXPosition", otherBounds.size());
        axWindows(d, {broken, axWindow(d, "device", deviceBounds, "deviceWindow-A")});
    }) << device << deviceBounds << 7u << "device";
    QTest::newRow("a missing title is empty") << Setup([](FakeDesktop& d) {
        everyday(d);
        auto untitled = axWindow(d, "device", deviceBounds, "deviceWindow-A");
        untitled->attributes.remove("AXTitle");
        axWindows(d, {untitled});
    }) << "" << deviceBounds << 7u << "device";
}

void TestSimulatorWindow::front() {
    QFETCH(Setup, setup);
    QFETCH(QString, title);
    QFETCH(QRectF, frame);
    QFETCH(quint32, number);
    QFETCH(QString, axWindow);

    FakeDesktop desktop;
    setup(desktop);
    if (through::apple && desktop.windows.entries &&
        std::any_of(desktop.windows.entries->begin(), desktop.windows.entries->end(),
                    [](const auto& entry) { return entry.clientBounds; }))
        QSKIP("The window server lists windows with their title bars only.");
    const std::optional<SimulatorWindow> found = SimulatorWindow::front(portsOf(desktop));
    QCOMPARE(desktop.windows.reads, 1);
    if (title == "-") {
        QVERIFY2(!found, qPrintable(found ? found->title : QString()));
        return;
    }
    QVERIFY(found);
    QCOMPARE(found->pid, simulatorPid);
    QCOMPARE(found->title, title);
    QCOMPARE(found->frame, frame);
    QCOMPARE(found->number, number);
    QCOMPARE(nameOf(found->axWindow), axWindow);
    if (axWindow.isEmpty()) {
        QCOMPARE(found->deviceName(), QStringLiteral("Simulator"));
        QCOMPARE(found->runtime(), std::nullopt);
    }
    if (!desktop.accessibility.trusted) // then the accessibility interface is not even asked
        QVERIFY2(desktop.log->isEmpty(), qPrintable(desktop.log->join(' ')));
    else
        QCOMPARE(desktop.accessibility.timeouts, QList<std::chrono::milliseconds>{AX::messagingTimeout});
}

// Device Hub shows no tree: the window server's title names the device, and still only the tree's
// title is shown as the window's.
void TestSimulatorWindow::aWindowWithoutATreeIsNamedByItsListedTitle() {
    FakeDesktop desktop;
    everyday(desktop);
    desktop.applications.identifiers.insert(simulatorPid, "com.apple.dt.Devices");
    axWindows(desktop, {});
    desktop.windows.titles.insert(7, QStringLiteral("iPhone 17 Pro \u2013 iOS 26.0"));
    std::optional<SimulatorWindow> found = SimulatorWindow::front(portsOf(desktop));
    QVERIFY(found && !found->axWindow);
    QCOMPARE(found->title, QStringLiteral("Simulator"));
    QCOMPARE(found->deviceName(), QStringLiteral("iPhone 17 Pro"));
    QCOMPARE(found->runtime(), std::optional<QString>("iOS 26.0"));
    // Where the tree names the window, its title wins.
    everyday(desktop);
    found = SimulatorWindow::front(portsOf(desktop));
    QVERIFY(found && found->axWindow);
    QCOMPARE(found->deviceName(), QStringLiteral("iPhone 15 Pro"));
}

void TestSimulatorWindow::screenRect_data() {
    QTest::addColumn<Setup>("setup");        // builds the tree under the element "window"
    QTest::addColumn<QRectF>("expected");    // null: none
    QTest::addColumn<QStringList>("unread"); // requests that must not happen

    // A group element with this rectangle and optional subrole.
    const auto group = [](FakeDesktop& d, const QString& name, const QRectF& rect,
                          const QString& subrole = {}) {
        auto element = d.element(name);
        element->set("AXRole", QStringLiteral("AXGroup")).setFrame(rect);
        if (!subrole.isEmpty())
            element->set("AXSubrole", subrole);
        return element;
    };
    const auto window = [](FakeDesktop& d) -> FakeAXElement& { return d.application(1); };
    const auto children = [](FakeAXElement& parent, const QList<std::shared_ptr<FakeAXElement>>& list) {
        parent.setChildren(QList<AXElementRef>(list.begin(), list.end()));
    };
    const QRectF content(40, 60, 320, 640);

    QTest::newRow("content group wins at once over a larger, earlier group") << Setup([=](FakeDesktop& d) {
        auto big = group(d, "big", QRectF(10, 10, 380, 700));
        auto screen = group(d, "screen", content, "iOSContentGroup");
        auto later = group(d, "later", QRectF(5, 5, 390, 790));
        children(window(d), {big, screen, later});
    }) << content << QStringList{"later.AXRole"};
    QTest::newRow("content group found at depth 3") << Setup([=](FakeDesktop& d) {
        auto one = group(d, "one", QRectF(10, 10, 380, 780));
        auto two = group(d, "two", QRectF(20, 20, 360, 760));
        children(window(d), {one});
        children(*one, {two});
        children(*two, {group(d, "three", content, "iOSContentGroup")});
    }) << content << QStringList{"three.AXChildren"};
    QTest::newRow("nothing below depth 3 is examined") << Setup([=](FakeDesktop& d) {
        auto one = group(d, "one", QRectF(0, 0, 400, 800));
        auto two = group(d, "two", QRectF(0, 0, 400, 800));
        auto three = group(d, "three", QRectF(10, 10, 100, 100));
        children(window(d), {one});
        children(*one, {two});
        children(*two, {three});
        children(*three, {group(d, "four", content, "iOSContentGroup")});
    }) << QRectF(10, 10, 100, 100) << QStringList{"three.AXChildren", "four.AXRole"};
    QTest::newRow("exactly 4 points narrower is not a candidate")
        << Setup([=](FakeDesktop& d) { children(window(d), {group(d, "g", QRectF(0, 0, 396, 700))}); })
        << QRectF() << QStringList{};
    QTest::newRow("exactly 4 points shorter is not a candidate")
        << Setup([=](FakeDesktop& d) { children(window(d), {group(d, "g", QRectF(0, 0, 300, 796))}); })
        << QRectF() << QStringList{};
    QTest::newRow("just under the margin is a candidate")
        << Setup([=](FakeDesktop& d) { children(window(d), {group(d, "g", QRectF(0, 0, 395.5, 795.5))}); })
        << QRectF(0, 0, 395.5, 795.5) << QStringList{};
    QTest::newRow("a group reaching outside the window is not a candidate")
        << Setup([=](FakeDesktop& d) { children(window(d), {group(d, "g", QRectF(-1, 0, 300, 600))}); })
        << QRectF() << QStringList{};
    QTest::newRow("a group of zero area is never the first best") << Setup([=](FakeDesktop& d) {
        children(window(d), {group(d, "empty", QRectF(10, 10, 0, 100)), group(d, "g", QRectF(20, 20, 1, 1))});
    }) << QRectF(20, 20, 1, 1) << QStringList{};
    QTest::newRow("only zero areas: none")
        << Setup([=](FakeDesktop& d) { children(window(d), {group(d, "empty", QRectF(10, 10, 100, 0))}); })
        << QRectF() << QStringList{};
    QTest::newRow("on equal areas the earlier stays") << Setup([=](FakeDesktop& d) {
        children(window(d),
                 {group(d, "a", QRectF(10, 10, 100, 100)), group(d, "b", QRectF(50, 50, 100, 100))});
    }) << QRectF(10, 10, 100, 100) << QStringList{};
    QTest::newRow("a larger later group replaces") << Setup([=](FakeDesktop& d) {
        auto a = group(d, "a", QRectF(10, 10, 100, 100));
        children(*a, {group(d, "deep", QRectF(0, 0, 300, 300))});
        children(window(d), {a, group(d, "b", QRectF(0, 0, 200, 200))});
    }) << QRectF(0, 0, 300, 300) << QStringList{};
    QTest::newRow("breadth first: a sibling comes before a nephew of the same area")
        << Setup([=](FakeDesktop& d) {
               auto a = group(d, "a", QRectF(10, 10, 100, 100));
               children(*a, {group(d, "nephew", QRectF(0, 0, 200, 200))});
               children(window(d), {a, group(d, "sibling", QRectF(10, 10, 200, 200))});
           })
        << QRectF(10, 10, 200, 200) << QStringList{};
    QTest::newRow("other roles are never the screen, whatever their subrole") << Setup([=](FakeDesktop& d) {
        auto button = d.element("button");
        button->set("AXRole", QStringLiteral("AXButton")).set("AXSubrole", QStringLiteral("iOSContentGroup"));
        button->setFrame(QRectF(0, 0, 390, 790));
        children(window(d), {button, group(d, "g", QRectF(10, 10, 50, 50))});
    }) << QRectF(10, 10, 50, 50) << QStringList{"button.AXSubrole"};
    QTest::newRow("the window element itself is not examined") << Setup([=](FakeDesktop& d) {
        window(d)
            .set("AXRole", QStringLiteral("AXGroup"))
            .set("AXSubrole", QStringLiteral("iOSContentGroup"));
        window(d).setFrame(QRectF(0, 0, 400, 800));
        children(window(d), {group(d, "g", QRectF(10, 10, 50, 50))});
    }) << QRectF(10, 10, 50, 50) << QStringList{"app1.AXRole"};
    QTest::newRow("a group without a size") << Setup([=](FakeDesktop& d) {
        auto sizeless = group(d, "g", content, "iOSContentGroup");
        sizeless->attributes.remove("AXSize");
        children(window(d), {sizeless});
    }) << QRectF() << QStringList{"g.AXSubrole"};
    QTest::newRow("children of another kind")
        << Setup([=](FakeDesktop& d) { window(d).set("AXChildren", QStringLiteral("kids")); }) << QRectF()
        << QStringList{};
    QTest::newRow("an application that never answers") << Setup([=](FakeDesktop& d) {
        children(window(d), {group(d, "g", content, "iOSContentGroup")});
        window(d).answers = false;
    }) << QRectF() << QStringList{"g.AXRole"};
}

void TestSimulatorWindow::screenRect() {
    QFETCH(Setup, setup);
    QFETCH(QRectF, expected);
    QFETCH(QStringList, unread);

    FakeDesktop desktop;
    setup(desktop);
    SimulatorWindow window{simulatorPid, QRectF(0, 0, 400, 800), "iPhone", 7u,
                           accessibilityOf(desktop).application(1, AX::messagingTimeout)};
    const std::optional<QRectF> found = window.screenRect();
    QCOMPARE(found.value_or(QRectF()), expected);
    for (const QString& request : std::as_const(unread))
        QVERIFY2(!desktop.log->contains(request), qPrintable(request + " in " + desktop.log->join(' ')));

    window.axWindow.reset();
    QCOMPARE(window.screenRect(), std::nullopt);
}

void TestSimulatorWindow::isDirectlyAbove_data() {
    QTest::addColumn<QList<QList<qint64>>>("windows"); // front to back: {number, layer}
    QTest::addColumn<bool>("above");

    QTest::newRow("directly above") << QList<QList<qint64>>{{5, 0}, {7, 0}, {9, 0}} << true;
    QTest::newRow("a normal window between") << QList<QList<qint64>>{{5, 0}, {9, 0}, {7, 0}} << false;
    QTest::newRow("a floating window between does not count")
        << QList<QList<qint64>>{{5, 0}, {9, 3}, {7, 0}} << true;
    QTest::newRow("below the Simulator") << QList<QList<qint64>>{{7, 0}, {5, 0}} << false;
    QTest::newRow("application window not on screen") << QList<QList<qint64>>{{7, 0}} << false;
    QTest::newRow("Simulator window not on screen") << QList<QList<qint64>>{{5, 0}} << false;
    QTest::newRow("application window off the normal layer") << QList<QList<qint64>>{{5, 3}, {7, 0}} << false;
    QTest::newRow("Simulator window off the normal layer") << QList<QList<qint64>>{{5, 0}, {7, 8}} << false;
    QTest::newRow("first positions count") << QList<QList<qint64>>{{5, 0}, {1, 0}, {5, 0}, {7, 0}} << false;
}

void TestSimulatorWindow::isDirectlyAbove() {
    QFETCH(QList<QList<qint64>>, windows);
    QFETCH(bool, above);
    FakeDesktop desktop;
    desktop.windows.entries.emplace();
    for (const auto& window : windows)
        desktop.windows.entries->push_back(
            FakeWindowList::entry(42, window[0], QRectF(0, 0, 10, 10), window[1]));
    QCOMPARE(SimulatorWindow::isDirectlyAbove(portsOf(desktop).windows, 5, 7), above);

    desktop.windows.entries.reset();
    QVERIFY(!SimulatorWindow::isDirectlyAbove(portsOf(desktop).windows, 5, 7));
}

void TestSimulatorWindow::attributeKinds_data() {
    QTest::addColumn<QString>("kind"); // what is asked for
    QTest::addColumn<platform::AXValue>("stored");
    QTest::addColumn<bool>("present");

    QTest::newRow("text as text") << "text" << platform::AXValue(QStringLiteral("Save")) << true;
    QTest::newRow("number as text") << "text" << platform::AXValue(4.5) << false;
    QTest::newRow("Boolean as Boolean") << "bool" << platform::AXValue(false) << true;
    QTest::newRow("text as Boolean") << "bool" << platform::AXValue(QStringLiteral("true")) << false;
    QTest::newRow("point as point") << "point" << platform::AXValue(QPointF(1, 2)) << true;
    QTest::newRow("size as point") << "point" << platform::AXValue(QSizeF(1, 2)) << false;
    QTest::newRow("elements as elements") << "elements" << platform::AXValue(QList<AXElementRef>{}) << true;
    QTest::newRow("element as elements") << "elements" << platform::AXValue(AXElementRef()) << false;
}

void TestSimulatorWindow::attributeKinds() {
    QFETCH(QString, kind);
    QFETCH(platform::AXValue, stored);
    QFETCH(bool, present);
    FakeDesktop desktop;
    auto element = desktop.element("e");
    element->set("AXThing", stored);
    desktop.accessibility.applications.insert(9, element);
    const AXElementRef read9 = accessibilityOf(desktop).application(9, AX::messagingTimeout);
    const auto read = [&](const QString& attribute) {
        if (kind == "text")
            return AX::value<QString>(*read9, attribute).has_value();
        if (kind == "bool")
            return AX::value<bool>(*read9, attribute).has_value();
        if (kind == "point")
            return AX::value<QPointF>(*read9, attribute).has_value();
        return AX::value<QList<AXElementRef>>(*read9, attribute).has_value();
    };
    QCOMPARE(read("AXThing"), present);
    QVERIFY(!read("AXMissing"));
    element->answers = false;
    QVERIFY(!read("AXThing"));
}

QTEST_GUILESS_MAIN(TestSimulatorWindow)
#include "tst_simulatorwindow.moc"
