#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/AtspiPlacement.h"
#include "platform/linux/AtspiProtocol.h"
#include "platform/linux/DevicePixels.h"

#include <QTest>

#include <limits>

using platform::atspi::AtspiAccessibility;
using platform::x11::DevicePixels;

class TestAtspiRoles : public QObject {
    Q_OBJECT
private slots:
    void axRole_data();
    void axRole();
    void extents_data();
    void extents();
    void devicePixels_data();
    void devicePixels();
    void stateNames_data();
    void stateNames();
    void placeWindow_data();
    void placeWindow();
};

void TestAtspiRoles::axRole_data() {
    // AT-SPI role numbers (AtspiRole) and the AX-style names the targeting code reads.
    QTest::addColumn<uint>("role");
    QTest::addColumn<QString>("expected");
    QTest::newRow("push button") << 43u << "AXButton";
    QTest::newRow("label") << 29u << "AXStaticText";
    QTest::newRow("image") << 27u << "AXImage";
    QTest::newRow("icon") << 26u << "AXImage";
    QTest::newRow("entry") << 79u << "AXTextField";
    QTest::newRow("text") << 61u << "AXTextField";
    QTest::newRow("password text") << 40u << "AXTextField";
    QTest::newRow("check box") << 7u << "AXCheckBox";
    QTest::newRow("toggle button") << 62u << "AXCheckBox";
    QTest::newRow("radio button") << 44u << "AXRadioButton";
    QTest::newRow("slider") << 51u << "AXSlider";
    QTest::newRow("link") << 88u << "AXLink";
    QTest::newRow("heading") << 83u << "AXHeading";
    QTest::newRow("frame") << 23u << "AXWindow";
    QTest::newRow("window") << 69u << "AXWindow";
    QTest::newRow("panel") << 39u << "AXGroup";
    QTest::newRow("filler") << 20u << "AXGroup";
    QTest::newRow("section") << 85u << "AXGroup";
    QTest::newRow("grouping") << 99u << "AXGroup";
    QTest::newRow("scroll pane") << 49u << "AXGroup";
    QTest::newRow("layered pane") << 30u << "AXGroup";
    QTest::newRow("any other: upper camel case") << 63u << "AXToolBar";
    QTest::newRow("three words") << 38u << "AXPageTabList";
    QTest::newRow("dialog is not a window role") << 16u << "AXDialog";
    QTest::newRow("the last role") << 129u << "AXPushButtonMenu";
    QTest::newRow("a role newer than we know") << 500u << "AXUnknown";
}

void TestAtspiRoles::axRole() {
    QFETCH(uint, role);
    QFETCH(QString, expected);
    QCOMPARE(AtspiAccessibility::axRole(role), expected);
}

void TestAtspiRoles::extents_data() {
    QTest::addColumn<qint64>("x");
    QTest::addColumn<qint64>("y");
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    QTest::addColumn<bool>("kept");
    constexpr qint64 largest = std::numeric_limits<int>::max();
    QTest::newRow("on a screen") << qint64(100) << qint64(-40) << qint64(300) << qint64(600) << true;
    QTest::newRow("empty") << qint64(0) << qint64(0) << qint64(0) << qint64(0) << true;
    QTest::newRow("negative width") << qint64(0) << qint64(0) << qint64(-1) << qint64(10) << false;
    QTest::newRow("at the end of the int range") << largest << qint64(0) << qint64(10) << qint64(10) << false;
    QTest::newRow("as wide as the int range") << qint64(10) << qint64(10) << largest << largest << false;
    QTest::newRow("at its start") << -largest - 1 << -largest - 1 << qint64(1) << qint64(1) << false;
}

void TestAtspiRoles::extents() {
    QFETCH(qint64, x);
    QFETCH(qint64, y);
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    QFETCH(bool, kept);
    const auto rect = platform::atspi::rect(x, y, width, height);
    QCOMPARE(rect.has_value(), kept);
    if (kept)
        QCOMPARE(*rect, QRect(int(x), int(y), int(width), int(height)));
}

void TestAtspiRoles::devicePixels_data() {
    // A screen at the origin at `ratio`, and one at twice that to its right, where the first ends
    // in device pixels (the toolkit keeps each screen's corner where the device pixels put it).
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QRectF>("device");
    QTest::addColumn<QRectF>("logical");
    QTest::newRow("unscaled") << 1.0 << QRectF(200, 100, 342, 700) << QRectF(200, 100, 342, 700);
    QTest::newRow("at 2") << 2.0 << QRectF(200, 100, 342, 700) << QRectF(100, 50, 171, 350);
    QTest::newRow("at 1.5") << 1.5 << QRectF(300, 150, 450, 900) << QRectF(200, 100, 300, 600);
    // The second screen starts at logical x 1000 and keeps that corner in device pixels.
    QTest::newRow("on the second screen") << 1.0 << QRectF(1200, 100, 400, 200) << QRectF(1100, 50, 200, 100);
    QTest::newRow("off every screen: the primary's ratio")
        << 2.0 << QRectF(-400, -200, 40, 20) << QRectF(-200, -100, 20, 10);
}

void TestAtspiRoles::devicePixels() {
    QFETCH(double, ratio);
    QFETCH(QRectF, device);
    QFETCH(QRectF, logical);
    const DevicePixels pixels([ratio] {
        return std::vector<DevicePixels::Screen>{{QRectF(0, 0, 1000, 800), ratio},
                                                 {QRectF(1000 * ratio, 0, 500, 400), 2 * ratio}};
    });
    QCOMPARE(pixels.toLogical(device), logical);
    QCOMPARE(pixels.toLogical(device.topLeft()), logical.topLeft());
    QCOMPARE(pixels.toDevice(logical.topLeft()), device.topLeft());
    QCOMPARE(QRectF(pixels.toDevice(logical)), device);
}

void TestAtspiRoles::stateNames_data() {
    // AT-SPI state numbers (AtspiStateType).
    QTest::addColumn<QList<uint>>("states");
    QTest::addColumn<QStringList>("expected");
    using States = QList<uint>;
    QTest::newRow("an ordinary visible element") << States{8, 24, 25, 30} << QStringList{};
    QTest::newRow("sensitive alone is not disabled (GTK 4)") << States{24, 30} << QStringList{};
    QTest::newRow("neither enabled nor sensitive") << States{25, 30} << QStringList{"disabled"};
    QTest::newRow("a checked box with the focus")
        << States{4, 8, 11, 12, 24, 25} << QStringList{"checked", "focusable", "focused"};
    QTest::newRow("past the first word")
        << States{8, 24, 33, 36, 43} << QStringList{"required", "invalid-entry", "read-only"};
    QTest::newRow("noise only") << States{1, 8, 14, 19, 21, 22, 24, 25, 26, 28, 30, 31, 38, 41}
                                << QStringList{};
    QTest::newRow("an expanded multi-line field")
        << States{7, 8, 10, 17, 24} << QStringList{"editable", "expanded", "multi-line"};
}

void TestAtspiRoles::stateNames() {
    QFETCH(QList<uint>, states);
    QFETCH(QStringList, expected);
    quint64 set = 0;
    for (uint state : states)
        set |= quint64(1) << state;
    QCOMPARE(AtspiAccessibility::stateNames(set), expected);
}

void TestAtspiRoles::placeWindow_data() {
    // A window as the toolkit tells it, the X windows of its process (device pixels), and where
    // its positions land: origin and scale, or no scale (0) when none of the windows fits.
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QList<QRect>>("contents");
    QTest::addColumn<bool>("onScreen");
    QTest::addColumn<bool>("wholeScales");
    QTest::addColumn<QPointF>("origin");
    QTest::addColumn<double>("scale");
    using Rects = QList<QRect>;
    QTest::newRow("unscaled") << QRect(117, 129, 1366, 741) << Rects{{117, 129, 1366, 741}} << true << true
                              << QPointF() << 1.0;
    QTest::newRow("at twice the size")
        << QRect(50, 50, 900, 700) << Rects{{100, 100, 1800, 1400}} << true << false << QPointF() << 2.0;
    QTest::newRow("rounded to whole pixels")
        << QRect(699, 10, 900, 700) << Rects{{1399, 20, 1800, 1400}} << true << false << QPointF() << 2.0;
    QTest::newRow("at one and a half")
        << QRect(433, 229, 735, 549) << Rects{{650, 344, 1103, 824}} << true << false << QPointF() << 1.5;
    QTest::newRow("the same size elsewhere")
        << QRect(50, 50, 900, 700) << Rects{{300, 300, 900, 700}} << true << false << QPointF() << 0.0;
    QTest::newRow("the second window fits")
        << QRect(50, 50, 900, 700) << Rects{{0, 0, 400, 300}, {100, 100, 1800, 1400}} << true << false
        << QPointF() << 2.0;
    QTest::newRow("stretched one way only")
        << QRect(0, 0, 100, 100) << Rects{{0, 0, 200, 100}} << true << false << QPointF() << 0.0;
    QTest::newRow("an empty window") << QRect(0, 0, 0, 0) << Rects{{0, 0, 0, 0}} << true << false << QPointF()
                                     << 0.0;
    QTest::newRow("relative: a surface a little larger")
        << QRect(0, 0, 790, 590) << Rects{{400, 200, 800, 600}} << false << true << QPointF(400, 200) << 1.0;
    QTest::newRow("relative, at twice the size")
        << QRect(0, 0, 790, 590) << Rects{{0, 0, 1600, 1200}} << false << true << QPointF() << 2.0;
    QTest::newRow("relative: GTK has no scale of one and a half")
        << QRect(0, 0, 800, 600) << Rects{{10, 10, 1200, 900}} << false << true << QPointF() << 0.0;
}

void TestAtspiRoles::placeWindow() {
    QFETCH(QRect, window);
    QFETCH(QList<QRect>, contents);
    QFETCH(bool, onScreen);
    QFETCH(bool, wholeScales);
    QFETCH(QPointF, origin);
    QFETCH(double, scale);
    const auto placed =
        platform::atspi::placeWindow(window, {contents.begin(), contents.end()}, onScreen, wholeScales);
    QCOMPARE(placed.has_value(), scale > 0);
    if (!placed)
        return;
    QCOMPARE(placed->origin, origin);
    QCOMPARE(placed->scale, scale);
}

QTEST_GUILESS_MAIN(TestAtspiRoles)
#include "tst_atspiroles.moc"
