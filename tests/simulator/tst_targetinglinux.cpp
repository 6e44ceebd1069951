// The targeting code against real windows: the stand-in simulator on a private test desktop (Xvfb,
// openbox, the accessibility bus), through the Linux ports.

#include "platform/ProcessSimulatorTool.h"
#include "platform/Targeting.h"
#include "simulator/ElementPicker.h"
#include "simulator/PanelError.h"
#include "simulator/Simctl.h"
#include "simulator/SimulatorWindow.h"
#include "support/Settle.h"
#include "support/StandinSimulator.h"

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

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

double seconds(const QElapsedTimer& clock) {
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

class TestTargetingLinux : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void findsTheDeviceWindow();
    void hitTest_data();
    void hitTest();
    void simulatorTool();
    void minimisedWindowIsSkipped();
    void onlyMinimisedIsHidden();
    void raisesAWindow();
    void unansweredReadsKeepTheirLimit();

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
    ProcessSimulatorTool tool;
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

void TestTargetingLinux::unansweredReadsKeepTheirLimit() {
    m_standin.reset();
    constexpr double limit = 0.25;
    // Scheduling on a busy machine; far below a second wait.
    constexpr double slack = 0.15;
    StandinSimulator standin;
    QVERIFY(standin.start({}));
    const auto window = waitForFront(QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2"));
    QVERIFY(window);
    const auto screen = window->screenRect();
    QVERIFY(screen);

    QVERIFY(standin.hang(6));
    QElapsedTimer clock;
    clock.start();
    const auto title = AX::value<QString>(*window->axWindow, "AXTitle");
    const double firstRead = seconds(clock);
    QCOMPARE(title, std::nullopt);
    QVERIFY2(firstRead >= limit * 0.9 && firstRead <= limit + slack, qPrintable(QString::number(firstRead)));
    clock.restart();
    QCOMPARE(AX::frame(*window->axWindow), std::nullopt);
    QVERIFY2(seconds(clock) < 0.05, "an element whose application went silent gives up at once");

    clock.restart();
    QCOMPARE(SimulatorWindow::front(m_targeting->ports()), std::nullopt);
    QVERIFY2(seconds(clock) <= limit + slack, qPrintable(QString::number(seconds(clock))));

    clock.restart();
    const PickResult pick = ElementPicker::element(*m_targeting->accessibility,
                                                   screen->topLeft() + QPointF(150, 398), *window, *screen);
    QVERIFY2(seconds(clock) <= limit + slack, qPrintable(QString::number(seconds(clock))));
    QCOMPARE(pick.role, QStringLiteral("Screen"));

    QVERIFY(waitForFront(QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2")));
}

QTEST_GUILESS_MAIN(TestTargetingLinux)
#include "tst_targetinglinux.moc"
