#include "foundation/Style.h"
#include "simulator/PickOverlay.h"
#include "support/FakeSimulator.h"
#include "support/FakeWindowSystem.h"

#include <QCursor>
#include <QImage>
#include <QTest>

#include <memory>

namespace {

// An overlay over the fake Simulator's window as the desktop shows it now.
struct Rig {
    FakeDesktop desktop;
    FakeSimulator simulator{desktop};
    FakeWindowSystem windows;
    std::unique_ptr<PickOverlay> overlay;
    QList<PickResult> picks;
    int cancels = 0;

    explicit Rig(bool compositing = true) {
        windows.compositingManager = compositing;
        overlay = std::make_unique<PickOverlay>(desktop.accessibility, windows, current());
        overlay->onPick = [this](const PickResult& pick, bool) { picks.append(pick); };
        overlay->onCancel = [this] { ++cancels; };
    }
    SimulatorWindow current() { return *SimulatorWindow::front(desktop.ports()); }
};

QColor pixel(const QImage& image, QPointF at) {
    return image.pixelColor(at.toPoint());
}

} // namespace

class TestPickOverlay : public QObject {
    Q_OBJECT
private slots:
    void hover_data();
    void hover();
    void drawing_data();
    void drawing();
    void follow();
    void withoutCompositing();
    void showsTheStateAtThePointer();
};

void TestPickOverlay::hover_data() {
    QTest::addColumn<QPointF>("at");
    QTest::addColumn<QRectF>("highlight"); // null: none
    QTest::addColumn<QString>("label");    // "-": none
    QTest::addColumn<bool>("mono");

    QTest::newRow("control with an identifier")
        << QPointF(200, 420) << QRectF(150, 400, 320, 44) << "saveButton" << true;
    QTest::newRow("control partly off the screen, clipped")
        << QPointF(320, 650) << QRectF(300, 600, 190, 80) << "Upgrade" << false;
    QTest::newRow("the screen's background") << QPointF(300, 200) << QRectF() << "-" << false;
    QTest::newRow("the bezel") << QPointF(115, 300) << QRectF() << "-" << false;
}

void TestPickOverlay::hover() {
    QFETCH(QPointF, at);
    QFETCH(QRectF, highlight);
    QFETCH(QString, label);
    QFETCH(bool, mono);

    Rig rig;
    PickView* view = rig.overlay->view();
    view->highlight = QRectF(1, 1, 1, 1);
    view->label = QStringLiteral("stale");
    view->mono = !mono;
    rig.overlay->hover(at);
    QCOMPARE(view->screen, std::optional<QRectF>(rig.simulator.screenRect));
    QCOMPARE(view->highlight.value_or(QRectF()), highlight);
    QCOMPARE(view->label.value_or(QStringLiteral("-")), label);
    QCOMPARE(view->mono, mono);
}

void TestPickOverlay::drawing_data() {
    QTest::addColumn<bool>("translucent");
    QTest::newRow("with compositing") << true;
    QTest::newRow("without") << false;
}

void TestPickOverlay::drawing() {
    QFETCH(bool, translucent);

    PickView view;
    view.translucent = translucent;
    view.resize(420, 860);
    view.origin = QPointF(100, 50);
    view.screen = QRectF(130, 130, 360, 740);
    view.highlight = QRectF(150, 400, 320, 44);
    view.label = QStringLiteral("saveButton");
    view.mono = true;
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, {}, {}, QWidget::RenderFlags());
    // What the desktop shows of it: all of it where windows blend, else only its shape.
    if (!translucent) {
        const QRegion shape = view.opaqueRegion();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!shape.contains(QPoint(x, y)))
                    image.setPixelColor(x, y, Qt::transparent);
    }

    const QPointF o = view.origin;
    const QColor brand = Style::brand();
    // Outside the screen nothing; on the screen the faint tint (or nothing where it cannot blend).
    QCOMPARE(pixel(image, QPointF(110, 60) - o).alpha(), 0);
    QCOMPARE(pixel(image, QPointF(300, 200) - o).alpha(), translucent ? qRound(0.06 * 255) : 0);
    // The outline in opaque brand, its inside at 0.16 over the tint (or nothing).
    QCOMPARE(pixel(image, QPointF(300, 400) - o), brand);
    const int inside = pixel(image, QPointF(300, 420) - o).alpha();
    if (translucent)
        QVERIFY2(qAbs(inside - qRound((0.16 + 0.06 * 0.84) * 255)) <= 2, qPrintable(QString::number(inside)));
    else
        QCOMPARE(inside, 0);
    // The tag above the highlight, opaque brand around its white text.
    QCOMPARE(pixel(image, QPointF(152, 390) - o), brand);
    bool white = false;
    for (int x = 155; x < 200 && !white; ++x)
        for (int y = 381; y < 398 && !white; ++y)
            white = pixel(image, QPointF(x, y) - o).lightness() > 200;
    QVERIFY(white);

    // The shape is the outline and the tag, nothing of the element's inside.
    if (!translucent)
        QVERIFY(!view.opaqueRegion().contains((QPointF(300, 420) - o).toPoint()));
}

void TestPickOverlay::follow() {
    Rig rig(false);
    QCursor::setPos(QPoint(200, 420));
    rig.overlay->show();
    OverlayPanel* window = rig.overlay->window();
    QCOMPARE(window->geometry(), rig.simulator.frame.toRect());
    QCOMPARE(rig.windows.shields.size(), 1);
    rig.windows.changes.clear();

    // The same frame: nothing moves, and the device screen is not searched again.
    rig.desktop.log->clear();
    rig.overlay->follow(rig.current());
    QVERIFY(!rig.desktop.log->contains(QStringLiteral("screen.AXRole")));
    QVERIFY(rig.windows.changes.isEmpty());

    rig.simulator.moveTo(QRectF(300, 70, 420, 860));
    rig.overlay->follow(rig.current());
    QCOMPARE(window->geometry(), QRect(300, 70, 420, 860));
    QCOMPARE(rig.overlay->view()->origin, QPointF(300, 70));
    QCOMPARE(rig.overlay->screen(), rig.simulator.screenRect);
    QCOMPARE(rig.windows.changes, QStringList{"shield 300,70"});
    QCOMPARE(rig.windows.shields.first()->area, QRectF(300, 70, 420, 860));
    // A click on the moved screen picks what is there now.
    rig.windows.shields.first()->events.leftPressed(rig.simulator.saveFrame.center(), {});
    QCOMPARE(rig.picks.size(), 1);
    QCOMPARE(rig.picks.first().identifier, std::optional<QString>(QStringLiteral("saveButton")));
}

void TestPickOverlay::withoutCompositing() {
    Rig rig(false);
    OverlayPanel* window = rig.overlay->window();
    QVERIFY(!window->isTranslucent());
    QVERIFY(window->windowFlags() & Qt::WindowTransparentForInput);
    QVERIFY(!window->testAttribute(Qt::WA_TranslucentBackground));

    // Over the screen's background there is nothing to draw, so nothing is shown, but the shield
    // takes the pointer over the whole window.
    QCursor::setPos(QPoint(300, 200));
    rig.overlay->show();
    QVERIFY(!window->isVisible());
    QCOMPARE(rig.windows.shields.size(), 1);
    auto* shield = rig.windows.shields.first();
    QCOMPARE(shield->area, rig.simulator.frame);

    // A burst of movements is one hit test, at the last point.
    rig.desktop.log->clear();
    shield->events.moved(QPointF(300, 200));
    shield->events.moved(QPointF(200, 420));
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(rig.desktop.log->filter(QStringLiteral("elementAt")), QStringList{"elementAt 200,420"});
    QVERIFY(!window->mask().isEmpty());
    QVERIFY(window->mask().contains(QPoint(50, 370))); // the outline's left edge, in window coordinates
    QVERIFY(!window->mask().contains(QPoint(200, 200)));

    shield->events.leftPressed(QPointF(115, 300), {}); // the bezel
    QVERIFY(rig.picks.isEmpty());
    shield->events.moved(QPointF(115, 300));
    QTRY_VERIFY(!window->isVisible());
    shield->events.rightPressed();
    QCOMPARE(rig.cancels, 1);

    rig.overlay->close();
    QVERIFY(rig.windows.shields.isEmpty());
    QVERIFY(rig.windows.escapeWatches.isEmpty());
    QVERIFY(!window->isVisible());
}

void TestPickOverlay::showsTheStateAtThePointer() {
    Rig rig;
    rig.windows.offersEscapeWatch = false;
    QCursor::setPos(QPoint(200, 420));
    rig.overlay->show();
    QVERIFY(rig.overlay->window()->isVisible());
    QVERIFY(rig.overlay->window()->testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(rig.overlay->view()->label, std::optional<QString>(QStringLiteral("saveButton")));
    QVERIFY(rig.windows.shields.isEmpty()); // the window itself takes the pointer
    // Without a system-wide watch, Escape still reaches the overlay itself.
    QVERIFY(!rig.overlay->isWatchingEscape());
    QTest::keyClick(rig.overlay->view(), Qt::Key_Escape);
    QCOMPARE(rig.cancels, 1);

    // An application too busy to answer the first hit test is asked again under the still pointer.
    Rig busy;
    const auto answer = busy.desktop.accessibility.hit;
    int asked = 0;
    busy.desktop.accessibility.hit = [&](float x, float y) { return ++asked == 1 ? nullptr : answer(x, y); };
    busy.overlay->show();
    QCOMPARE(busy.overlay->view()->label, std::nullopt);
    QTRY_COMPARE(busy.overlay->view()->label, std::optional<QString>(QStringLiteral("saveButton")));
    QCOMPARE(asked, 2);
}

QTEST_MAIN(TestPickOverlay)
#include "tst_pickoverlay.moc"
