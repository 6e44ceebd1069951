// The targeting code against real windows: the stand-in simulator on a private test desktop (Xvfb,
// openbox, the accessibility bus), through the Linux ports.

#include "foundation/PanelError.h"
#include "platform/ProcessSimulatorTool.h"
#include "platform/Targeting.h"
#include "platform/linux/XcbConnection.h"
#include "platform/linux/XcbDesktop.h"
#include "simulator/ElementPicker.h"
#include "simulator/Simctl.h"
#include "simulator/SimulatorWindow.h"
#include "support/Settle.h"
#include "support/StandinSimulator.h"
#include "support/TestPlatform.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <cstdlib>
#include <sys/resource.h>
#include <xcb/xcb.h>

using namespace std::chrono_literals;

namespace {

// The rectangle of the window manager's frame around a client window, as xwininfo tells it.
std::optional<QRectF> managerFrame(quint32 window) {
    const auto xwininfo = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("xwininfo"), arguments);
        process.waitForFinished(10000);
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    };
    const auto parent =
        QRegularExpression(QStringLiteral("Parent window id: (0x[0-9a-f]+)"))
            .match(xwininfo({QStringLiteral("-tree"), QStringLiteral("-id"), QString::number(window)}));
    if (!parent.hasMatch())
        return std::nullopt;
    const QString info = xwininfo({QStringLiteral("-id"), parent.captured(1)});
    const auto geometry =
        QRegularExpression(QStringLiteral("-geometry (\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)")).match(info);
    const auto border = QRegularExpression(QStringLiteral("Border width: (\\d+)")).match(info);
    if (!geometry.hasMatch() || !border.hasMatch())
        return std::nullopt;
    const double b = border.captured(1).toDouble();
    return QRectF(geometry.captured(3).toDouble(), geometry.captured(4).toDouble(),
                  geometry.captured(1).toDouble() + 2 * b, geometry.captured(2).toDouble() + 2 * b);
}

QList<platform::AXElementRef> windowsOf(platform::AXElement& application) {
    return AX::value<QList<platform::AXElementRef>>(application, "AXWindows")
        .value_or(QList<platform::AXElementRef>{});
}

// Top-level windows this test makes itself, with the hints a window manager reads.
class TestWindows {
public:
    TestWindows() : m_connection(xcb_connect(nullptr, nullptr)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~TestWindows() { xcb_disconnect(m_connection); }

    // Asks the window manager to add states to a managed window, as a client does after mapping.
    void addStates(xcb_window_t window, const QList<QByteArray>& states) {
        for (const QByteArray& state : states) {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = window;
            message.type = atom("_NET_WM_STATE");
            message.data.data32[0] = 1; // add
            message.data.data32[1] = atom(state);
            message.data.data32[3] = 1; // from an application
            xcb_send_event(m_connection, 0, m_root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&message));
        }
        xcb_flush(m_connection);
    }

    void destroy(xcb_window_t window) {
        xcb_destroy_window(m_connection, window);
        xcb_flush(m_connection);
    }

    xcb_atom_t atom(const QByteArray& name) {
        auto* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    }

    xcb_window_t create(const QRect& rect, const QByteArray& windowClass, quint32 pid,
                        const QList<QByteArray>& types, const QList<QByteArray>& states, bool iconic) {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, int16_t(rect.x()),
                          int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray classes = QByteArray("test\0", 5) + windowClass + '\0';
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                            8, uint32_t(classes.size()), classes.constData());
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &pid);
        const auto atoms = [&](const QList<QByteArray>& names) {
            std::vector<xcb_atom_t> list;
            for (const QByteArray& name : names)
                list.push_back(atom(name));
            return list;
        };
        if (!types.isEmpty()) {
            const auto list = atoms(types);
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_WINDOW_TYPE"),
                                XCB_ATOM_ATOM, 32, uint32_t(list.size()), list.data());
        }
        if (!states.isEmpty()) {
            const auto list = atoms(states);
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_STATE"),
                                XCB_ATOM_ATOM, 32, uint32_t(list.size()), list.data());
        }
        if (iconic) {
            // WM_HINTS with the initial state hint: iconic.
            const uint32_t hints[9] = {2, 0, 3, 0, 0, 0, 0, 0, 0};
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS,
                                XCB_ATOM_WM_HINTS, 32, 9, hints);
        }
        xcb_map_window(m_connection, window);
        xcb_flush(m_connection);
        return window;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

// The client rectangle of a window in root coordinates, as xwininfo tells it.
std::optional<QRectF> clientRectangle(quint32 window) {
    QProcess process;
    process.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    process.waitForFinished(10000);
    const QString info = QString::fromLocal8Bit(process.readAllStandardOutput());
    const auto number = [&](const char* label) {
        const auto match =
            QRegularExpression(QLatin1String(label) + QStringLiteral(":\\s+(-?\\d+)")).match(info);
        return match.hasMatch() ? std::optional<double>(match.captured(1).toDouble()) : std::nullopt;
    };
    const auto x = number("Absolute upper-left X"), y = number("Absolute upper-left Y");
    const auto width = number("Width"), height = number("Height");
    if (!x || !y || !width || !height)
        return std::nullopt;
    return QRectF(*x, *y, *width, *height);
}

} // namespace

class TestTargetingLinux : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void windowKinds_data();
    void windowKinds();
    void findsTheDeviceWindow();
    void hitTest_data();
    void hitTest();
    void simulatorTool();
    void minimisedWindowIsSkipped();
    void onlyMinimisedIsHidden();
    void raisesAWindow();
    void withoutAnAccessibilityTree();
    void unansweredReadsGiveUp();
    void aLostDisplayIsLetGo();

private:
    std::optional<SimulatorWindow> waitForFront(const QString& title);
    // One plain stand-in for the tests that only look at it; null when it did not start.
    StandinSimulator* shared();

    std::unique_ptr<platform::Targeting> m_targeting;
    std::unique_ptr<StandinSimulator> m_standin;
};

void TestTargetingLinux::initTestCase() {
    m_targeting = platform::createTargeting();
    QVERIFY2(m_targeting->problems.isEmpty(), qPrintable(m_targeting->problems.join(' ')));
    QVERIFY(m_targeting->accessibility->isTrusted());
    QCOMPARE(SimulatorWindow::front(m_targeting->ports()), std::nullopt);
}

void TestTargetingLinux::windowKinds_data() {
    QTest::addColumn<QList<QByteArray>>("types");
    QTest::addColumn<QList<QByteArray>>("states");
    QTest::addColumn<bool>("iconic");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("normal"); // on layer 0

    using Atoms = QList<QByteArray>;
    QTest::newRow("no type") << Atoms{} << Atoms{} << false << true << true;
    QTest::newRow("normal") << Atoms{"_NET_WM_WINDOW_TYPE_NORMAL"} << Atoms{} << false << true << true;
    QTest::newRow("dialog") << Atoms{"_NET_WM_WINDOW_TYPE_DIALOG"} << Atoms{} << false << true << true;
    QTest::newRow("utility") << Atoms{"_NET_WM_WINDOW_TYPE_UTILITY"} << Atoms{} << false << true << true;
    QTest::newRow("an unknown type before a known one")
        << Atoms{"_EXAMPLE_WM_WINDOW_TYPE_GADGET", "_NET_WM_WINDOW_TYPE_DIALOG"} << Atoms{} << false << true
        << true;
    QTest::newRow("kept above") << Atoms{} << Atoms{"_NET_WM_STATE_ABOVE"} << false << true << false;
    QTest::newRow("kept below") << Atoms{"_NET_WM_WINDOW_TYPE_DIALOG"} << Atoms{"_NET_WM_STATE_BELOW"}
                                << false << true << false;
    QTest::newRow("dock") << Atoms{"_NET_WM_WINDOW_TYPE_DOCK"} << Atoms{} << false << true << false;
    QTest::newRow("toolbar") << Atoms{"_NET_WM_WINDOW_TYPE_TOOLBAR"} << Atoms{} << false << true << false;
    QTest::newRow("splash") << Atoms{"_NET_WM_WINDOW_TYPE_SPLASH"} << Atoms{} << false << true << false;
    QTest::newRow("desktop") << Atoms{"_NET_WM_WINDOW_TYPE_DESKTOP"} << Atoms{} << false << false << false;
    QTest::newRow("iconified") << Atoms{} << Atoms{} << true << false << true;
}

void TestTargetingLinux::windowKinds() {
    QFETCH(QList<QByteArray>, types);
    QFETCH(QList<QByteArray>, states);
    QFETCH(bool, iconic);
    QFETCH(bool, listed);
    QFETCH(bool, normal);
    // A process id no window of this desktop has; only the window manager reads it.
    static qint32 rows = 0;
    const qint32 pid = 0x3fff0000 + ++rows;
    const QString windowClass = QStringLiteral("com.example.") + QString::fromLatin1(QTest::currentDataTag());

    // One connection for every row: a fresh one would hand out the last row's window id again,
    // and a window manager still busy with the old window may mistake the new one for it.
    static TestWindows windows;
    const xcb_window_t window = windows.create(QRect(300, 200, 240, 160), windowClass.toLatin1(),
                                               quint32(pid), types, states, iconic);
    const auto destroy = qScopeGuard([window] { windows.destroy(window); });
    platform::TargetingPorts ports = m_targeting->ports();
    // Managed once the window manager lists it among the process's windows.
    QTRY_COMPARE_WITH_TIMEOUT(ports.applications.bundleIdentifier(pid), windowClass, 10000);
    const auto entry = [&]() -> std::optional<platform::WindowEntry> {
        for (const auto& entry :
             ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{})) {
            if (entry.number == window)
                return entry;
        }
        return std::nullopt;
    };
    if (!listed) {
        QTRY_COMPARE_WITH_TIMEOUT(ports.applications.isHidden(pid), iconic, 10000);
        QCOMPARE(entry().has_value(), false);
        return;
    }
    // A window manager under load may drop the states a window asked for before it was mapped;
    // asking again once it is managed is what clients do anyway.
    windows.addStates(window, states);
    // The window manager settles a new window's frame and state over a few steps.
    QTRY_VERIFY_WITH_TIMEOUT(
        entry() && entry()->bounds == managerFrame(window) && (entry()->layer == 0) == normal, 10000);
    QCOMPARE(entry()->ownerPid, pid);
    QCOMPARE(entry()->clientBounds, clientRectangle(window));
    QVERIFY(!ports.applications.isHidden(pid));
}

StandinSimulator* TestTargetingLinux::shared() {
    if (!m_standin) {
        m_standin = std::make_unique<StandinSimulator>();
        if (!m_standin->start({QStringLiteral("--position"), QStringLiteral("100,50")}))
            m_standin.reset();
    }
    return m_standin.get();
}

std::optional<SimulatorWindow> TestTargetingLinux::waitForFront(const QString& title) {
    std::optional<SimulatorWindow> window;
    // The accessibility tree appears shortly after the window does.
    const bool found = QTest::qWaitFor(
        [&] {
            window = SimulatorWindow::front(m_targeting->ports());
            return window && window->title == title;
        },
        15000);
    return found ? window : std::nullopt;
}

void TestTargetingLinux::findsTheDeviceWindow() {
    QVERIFY(shared());
    const StandinSimulator::Device device = m_standin->devices().value(0);
    const auto window = waitForFront(QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2"));
    QVERIFY(window);
    QCOMPARE(window->pid, m_standin->pid());
    QCOMPARE(window->number, device.window);
    QVERIFY(window->axWindow);
    QCOMPARE(window->deviceName(), QStringLiteral("iPhone 15 Pro"));
    QCOMPARE(window->runtime(), QStringLiteral("iOS 17.2"));
    const auto frame = managerFrame(device.window);
    QVERIFY(frame);
    QCOMPARE(window->frame, *frame);
    QCOMPARE(window->frame.topLeft(), QPointF(100, 50));

    const auto screen = window->screenRect();
    QVERIFY(screen);
    QCOMPARE(screen->size(), device.screen);
    QVERIFY(window->frame.contains(*screen));
}

void TestTargetingLinux::hitTest_data() {
    // Points relative to the device screen's top-left corner; the stand-in's layout.
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("identifier"); // "-": absent
    QTest::addColumn<QString>("label");      // "-": absent
    QTest::addColumn<QPointF>("origin");     // of the element's frame, relative to the screen

    QTest::newRow("text field") << QPointF(30, 190) << "TextField"
                                << "nameField"
                                << "Name" << QPointF(20, 178);
    QTest::newRow("push button") << QPointF(150, 398) << "Button"
                                 << "saveButton"
                                 << "Save" << QPointF(20, 376);
    QTest::newRow("button with an empty name") << QPointF(262, 70) << "Button"
                                               << "moreButton"
                                               << "-" << QPointF(244, 52);
    QTest::newRow("image") << QPointF(48, 132) << "Image"
                           << "avatarImage"
                           << "Profile photo" << QPointF(20, 104);
    QTest::newRow("label") << QPointF(120, 120) << "StaticText"
                           << "displayNameLabel"
                           << "Ada Lovelace" << QPointF(88, 112);
    QTest::newRow("toggle") << QPointF(254, 246) << "CheckBox"
                            << "notificationsSwitch"
                            << "Notifications" << QPointF(228, 232);
    QTest::newRow("slider without identifier") << QPointF(150, 340) << "Slider"
                                               << "-"
                                               << "Text size" << QPointF(20, 330);
    QTest::newRow("check box without identifier") << QPointF(60, 286) << "CheckBox"
                                                  << "-"
                                                  << "Share usage data" << QPointF(18, 272);
    QTest::newRow("partly outside the screen") << QPointF(250, 500) << "Button"
                                               << "upgradeCard"
                                               << "Upgrade\nto Pro" << QPointF(180, 462);
    QTest::newRow("the screen's background") << QPointF(10, 590) << "Screen"
                                             << "-"
                                             << "-" << QPointF();
    QTest::newRow("just left of the screen") << QPointF(-1, 190) << "Screen"
                                             << "-"
                                             << "-" << QPointF();
}

void TestTargetingLinux::hitTest() {
    QFETCH(QPointF, point);
    QFETCH(QString, role);
    QFETCH(QString, identifier);
    QFETCH(QString, label);
    QFETCH(QPointF, origin);
    QVERIFY(shared());
    const auto window = waitForFront(QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2"));
    QVERIFY(window);
    const auto screen = window->screenRect();
    QVERIFY(screen);

    const PickResult pick =
        ElementPicker::element(*m_targeting->accessibility, screen->topLeft() + point, *window, *screen);
    QCOMPARE(pick.role, role);
    QCOMPARE(pick.identifier.value_or("-"), identifier);
    QCOMPARE(pick.label.value_or("-"), label);
    QCOMPARE(pick.screen, *screen);
    QCOMPARE(pick.point, screen->topLeft() + point);
    if (role == QLatin1String("Screen")) {
        QVERIFY(!pick.frame);
        return;
    }
    QVERIFY(pick.frame);
    QCOMPARE(pick.frame->topLeft() - screen->topLeft(), origin);
    QVERIFY(pick.frame->contains(pick.point));
    if (identifier == QLatin1String("upgradeCard"))
        QVERIFY(pick.frame->right() > screen->right());
}

void TestTargetingLinux::simulatorTool() {
    QVERIFY(shared());
    const StandinSimulator::Device device = m_standin->devices().value(0);
    const auto window = waitForFront(QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2"));
    QVERIFY(window);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", StandinSimulator::bin().toUtf8() + ':' + path);
    qputenv("STANDIN_SIMULATOR_REGISTRY", m_standin->registry().toUtf8());
    platform::ProcessSimulatorTool tool(childProcesses());
    const auto found = settle(Simctl::device(tool, window->deviceName(), window->runtime()));
    QVERIFY2(found.value, qPrintable(found.description()));
    QCOMPARE(found.value->udid, device.udid);
    QCOMPARE(found.value->name, device.name);
    QCOMPARE(found.value->runtime, QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-17-2"));

    const auto shot = settle(Simctl::screenshot(tool, found.value->udid));
    QVERIFY2(shot.value, qPrintable(shot.description()));
    const QImage image = QImage::fromData(*shot.value, "PNG");
    QCOMPARE(image.size(), (device.screen * 3).toSize());
    QCOMPARE(QSizeF(image.size()), window->screenRect().value_or(QRectF()).size() * 3);

    const auto unknown =
        settle(Simctl::screenshot(tool, QStringLiteral("00000000-0000-0000-0000-000000000000")));
    QVERIFY(unknown.failedWith<PanelError>());
    QCOMPARE(unknown.description(), QStringLiteral("simctl io failed"));
    qputenv("PATH", path);
}

void TestTargetingLinux::minimisedWindowIsSkipped() {
    m_standin.reset();
    StandinSimulator standin;
    QVERIFY(
        standin.start({QStringLiteral("--device"), QStringLiteral("iPhone 15 Pro"),
                       QStringLiteral("--minimized"), QStringLiteral("--device"), QStringLiteral("iPhone SE"),
                       QStringLiteral("--runtime"), QStringLiteral("iOS 16.4")},
                      2));
    const auto window = waitForFront(QStringLiteral("iPhone SE \u2013 iOS 16.4"));
    QVERIFY(window);
    QCOMPARE(window->number, standin.devices().value(1).window);

    // The minimised one is in the accessibility tree, and says so.
    const auto application = m_targeting->accessibility->application(standin.pid(), AX::messagingTimeout);
    QVERIFY(application);
    QStringList minimised;
    for (const auto& element : windowsOf(*application)) {
        if (AX::value<bool>(*element, "AXMinimized") == true)
            minimised.append(AX::value<QString>(*element, "AXTitle").value_or("?"));
    }
    QCOMPARE(minimised, QStringList{QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2")});
}

void TestTargetingLinux::onlyMinimisedIsHidden() {
    m_standin.reset();
    StandinSimulator standin;
    QVERIFY(standin.start({QStringLiteral("--minimized")}));
    platform::RunningApplications& applications = m_targeting->ports().applications;
    QTRY_VERIFY_WITH_TIMEOUT(applications.isHidden(standin.pid()), 15000);
    QCOMPARE(applications.bundleIdentifier(standin.pid()), QStringLiteral("com.apple.iphonesimulator"));
    QCOMPARE(SimulatorWindow::front(m_targeting->ports()), std::nullopt);
    QVERIFY(!applications.isHidden(qint32(QCoreApplication::applicationPid())));
    QCOMPARE(applications.bundleIdentifier(qint32(QCoreApplication::applicationPid())), std::nullopt);
}

void TestTargetingLinux::raisesAWindow() {
    m_standin.reset();
    StandinSimulator standin;
    QVERIFY(
        standin.start({QStringLiteral("--device"), QStringLiteral("iPhone 15 Pro"),
                       QStringLiteral("--position"), QStringLiteral("100,50"), QStringLiteral("--device"),
                       QStringLiteral("iPhone SE"), QStringLiteral("--position"), QStringLiteral("200,80")},
                      2));
    QVERIFY(waitForFront(QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2")) ||
            waitForFront(QStringLiteral("iPhone SE \u2013 iOS 17.2")));
    const quint32 first = standin.devices().value(0).window;
    const quint32 second = standin.devices().value(1).window;
    platform::WindowList& windows = m_targeting->ports().windows;
    const auto application = m_targeting->accessibility->application(standin.pid(), AX::messagingTimeout);
    QVERIFY(application);
    const auto element = [&](const QString& udid) -> platform::AXElementRef {
        for (const auto& window : windowsOf(*application)) {
            if (AX::value<QString>(*window, "AXIdentifier") == QStringLiteral("deviceWindow-") + udid)
                return window;
        }
        return nullptr;
    };
    const auto firstElement = element(standin.devices().value(0).udid);
    const auto secondElement = element(standin.devices().value(1).udid);
    QVERIFY(firstElement && secondElement);

    QVERIFY(firstElement->performAction("AXRaise"));
    QTRY_VERIFY_WITH_TIMEOUT(SimulatorWindow::isDirectlyAbove(windows, first, second), 10000);
    QVERIFY(!SimulatorWindow::isDirectlyAbove(windows, second, first));
    QVERIFY(secondElement->performAction("AXRaise"));
    QTRY_VERIFY_WITH_TIMEOUT(SimulatorWindow::isDirectlyAbove(windows, second, first), 10000);
    QVERIFY(application->setAttribute("AXFrontmost", true));
    QVERIFY(!application->performAction("AXRaise"));
}

void TestTargetingLinux::withoutAnAccessibilityTree() {
    m_standin.reset();
    StandinSimulator standin;
    QVERIFY(standin.start({QStringLiteral("--no-accessibility")}));
    // Found by the window list alone, as without access: no device name, no element under a pick.
    std::optional<SimulatorWindow> window;
    QTRY_VERIFY_WITH_TIMEOUT(
        (window = SimulatorWindow::front(m_targeting->ports())) && window->pid == standin.pid(), 10000);
    QCOMPARE(window->title, QStringLiteral("Simulator"));
    QCOMPARE(window->number.value_or(0), standin.devices().value(0).window);
    QCOMPARE(window->axWindow, nullptr);
    QCOMPARE(
        ElementPicker::element(*m_targeting->accessibility, window->frame.center(), *window, window->frame)
            .role,
        QStringLiteral("Screen"));
}

void TestTargetingLinux::unansweredReadsGiveUp() {
    m_standin.reset();
    StandinSimulator standin;
    QVERIFY(standin.start({}));
    const QString title = QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2");
    const auto window = waitForFront(title);
    QVERIFY(window);
    const auto screen = window->screenRect();
    QVERIFY(screen);

    // Far more reads than the silence could hold if each waited out its time-out: once one went
    // unanswered, every later one gives up at once, through any element of the application, and
    // none of them sees the Simulator answer again. (How long each takes: bench/simulator.)
    constexpr int hangSeconds = 6;
    QVERIFY(standin.hang(hangSeconds));
    const int reads = 4 * hangSeconds * 1000 / int(AX::messagingTimeout.count());
    int answered = 0;
    for (int i = 0; i < reads; ++i) {
        const auto application = m_targeting->accessibility->application(standin.pid(), AX::messagingTimeout);
        if (application && !windowsOf(*application).isEmpty())
            ++answered;
        if (AX::value<QString>(*window->axWindow, "AXTitle"))
            ++answered;
    }
    QCOMPARE(answered, 0);
    // Its window stays found, named as nothing tells its device.
    const auto hung = SimulatorWindow::front(m_targeting->ports());
    QVERIFY(hung && !hung->axWindow);
    const PickResult pick = ElementPicker::element(*m_targeting->accessibility,
                                                   screen->topLeft() + QPointF(150, 398), *window, *screen);
    QCOMPARE(pick.role, QStringLiteral("Screen"));

    // Asked again in the background, it is read again once it answers.
    QVERIFY(waitForFront(title));
    QCOMPARE(ElementPicker::element(*m_targeting->accessibility, screen->topLeft() + QPointF(150, 398),
                                    *window, *screen)
                 .identifier,
             std::optional<QString>(QStringLiteral("saveButton")));
}

void TestTargetingLinux::aLostDisplayIsLetGo() {
    // A display of its own, to lose.
    QProcess server;
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("640x480x24")});
    QVERIFY(server.waitForReadyRead(10000));
    const QByteArray ours = qgetenv("DISPLAY");
    qputenv("DISPLAY", ':' + server.readLine().trimmed());
    const auto connection = std::make_shared<platform::x11::XcbConnection>();
    qputenv("DISPLAY", ours);
    QVERIFY(connection->usable());
    platform::x11::XcbDesktop desktop(connection);

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("connection to the X display was lost")));
    server.kill();
    QVERIFY(server.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(!connection->usable(), 10000);
    QCOMPARE(desktop.onScreenWindows(), std::nullopt);
    QCOMPARE(desktop.problem(), QStringLiteral("The connection to the X display was lost."));
    // Reported once, and the dead socket is not read on: waiting costs no processor time.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("lost")));
    const auto processorMs = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    };
    const auto before = processorMs();
    QTest::qWait(500);
    QVERIFY2(processorMs() - before < 250, "reads a lost connection on and on");
}

QTEST_GUILESS_MAIN(TestTargetingLinux)
#include "tst_targetinglinux.moc"
