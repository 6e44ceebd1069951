#include "simulator/PanelPlacement.h"

#include <QTest>

namespace {

// A 1440 × 900 primary display with a 25-point bar at the top and a 25-point dock at the bottom, and a
// second display to its right.
const QRectF primary(0, 0, 1440, 900);
const QRectF primaryUsable(0, 25, 1440, 850);
const QRectF second(1440, 0, 1920, 1080);
const QRectF secondUsable(1440, 0, 1920, 1040);
const QRectF left(-1440, 0, 1440, 900);

} // namespace

class TestPanelPlacement : public QObject {
    Q_OBJECT
private slots:
    void origin_data();
    void origin();
};

void TestPanelPlacement::origin_data() {
    QTest::addColumn<QList<QRectF>>("frames");
    QTest::addColumn<QList<QRectF>>("usable");
    QTest::addColumn<int>("main"); // -1: none
    QTest::addColumn<QRectF>("window");
    QTest::addColumn<QSizeF>("panel");
    QTest::addColumn<QPointF>("expected");

    const QList<QRectF> one{primary};
    const QList<QRectF> oneUsable{primaryUsable};
    const QList<QRectF> two{primary, second};
    const QList<QRectF> twoUsable{primaryUsable, secondUsable};

    QTest::newRow("right of the window, tops level")
        << one << oneUsable << 0 << QRectF(100, 100, 400, 800) << QSizeF(300, 200) << QPointF(508, 100);
    QTest::newRow("10 points from the usable right edge, 320 wide: left, 8 points away")
        << one << oneUsable << 0 << QRectF(1000, 100, 430, 600) << QSizeF(320, 500) << QPointF(672, 100);
    QTest::newRow("ending exactly on the usable right edge stays right")
        << one << oneUsable << 0 << QRectF(812, 100, 300, 500) << QSizeF(320, 500) << QPointF(1120, 100);
    QTest::newRow("top 100 above the usable bottom, 400 high: on the usable bottom")
        << one << oneUsable << 0 << QRectF(100, 775, 300, 600) << QSizeF(300, 400) << QPointF(408, 475);
    QTest::newRow("a window above the usable top: the panel's top on it")
        << one << oneUsable << 0 << QRectF(100, 0, 300, 600) << QSizeF(300, 400) << QPointF(408, 25);
    QTest::newRow("taller than the usable area: its top on the usable top")
        << one << oneUsable << 0 << QRectF(100, 100, 300, 600) << QSizeF(300, 900) << QPointF(408, 25);
    QTest::newRow("fitting on neither side: on the usable left edge, over the window")
        << one << oneUsable << 0 << QRectF(100, 100, 1300, 600) << QSizeF(320, 500) << QPointF(0, 100);
    QTest::newRow("halves rounded away from zero with y counted upwards")
        << one << oneUsable << 0 << QRectF(100.5, 100.5, 300, 500) << QSizeF(300, 200) << QPointF(409, 100);
    QTest::newRow("negative halves rounded away from zero")
        << QList<QRectF>{primary, left} << QList<QRectF>{primaryUsable, left} << 0
        << QRectF(-1000.5, 100, 300, 500) << QSizeF(300, 200) << QPointF(-693, 100);
    QTest::newRow("the window's own screen limits it")
        << two << twoUsable << 0 << QRectF(3000, 100, 300, 500) << QSizeF(320, 500) << QPointF(2672, 100);
    QTest::newRow("a window on both screens goes by the first of them")
        << two << twoUsable << 0 << QRectF(1300, 100, 300, 500) << QSizeF(300, 200) << QPointF(992, 100);
    QTest::newRow("a window only touching a screen's edge is not on it")
        << two << twoUsable << 0 << QRectF(1440, 100, 300, 500) << QSizeF(300, 200) << QPointF(1748, 100);
    QTest::newRow("a window on no screen goes by the main screen, the panel inside it")
        << two << twoUsable << 1 << QRectF(5000, 100, 300, 500) << QSizeF(300, 200) << QPointF(3060, 100);
    QTest::newRow("the main screen's usable bottom raises it")
        << two << twoUsable << 1 << QRectF(5000, 1000, 300, 500) << QSizeF(300, 200) << QPointF(3060, 840);
    QTest::newRow("without any screen nothing limits it")
        << QList<QRectF>{} << QList<QRectF>{} << -1 << QRectF(5000, 775, 300, 600) << QSizeF(300, 400)
        << QPointF(5308, 775);
    QTest::newRow("no screen met and no main screen: nothing limits it")
        << one << oneUsable << -1 << QRectF(5000, 775, 300, 600) << QSizeF(300, 400) << QPointF(5308, 775);
}

void TestPanelPlacement::origin() {
    QFETCH(QList<QRectF>, frames);
    QFETCH(QList<QRectF>, usable);
    QFETCH(int, main);
    QFETCH(QRectF, window);
    QFETCH(QSizeF, panel);
    QFETCH(QPointF, expected);

    std::vector<PanelPlacement::Screen> screens;
    for (qsizetype i = 0; i < frames.size(); ++i)
        screens.push_back({frames[i], usable[i]});
    const double primaryHeight = frames.isEmpty() ? 0 : frames.first().height();
    const std::optional<std::size_t> mainScreen = main < 0 ? std::nullopt : std::optional<std::size_t>(main);
    QCOMPARE(PanelPlacement::origin(window, panel, screens, mainScreen, primaryHeight), expected);
}

QTEST_APPLESS_MAIN(TestPanelPlacement)
#include "tst_panelplacement.moc"
