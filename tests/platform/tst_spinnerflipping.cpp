#include "foundation/CommonWidgets.h"
#include "platform/FrameFlipping.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {

// Counts the paint events a widget gets.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestSpinnerFlipping : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Spinner::setFrameFlipperFactory(platform::createFrameFlipperFactory()); }

    // The screen shows each frame as the toolkit would paint it over what lies beneath, inside what
    // the spinner's ancestors let it show, and the window is not repainted for it.
    void screenShowsTheToolkitsFrames_data() {
        QTest::addColumn<int>("scrolled"); // points of the spinner scrolled out of sight
        QTest::newRow("in full view") << 0;
        QTest::newRow("half scrolled away") << 6;
    }
    void screenShowsTheToolkitsFrames() {
        QFETCH(int, scrolled);
        QWidget window;
        window.resize(220, 140);
        auto* area = new QScrollArea(&window);
        area->setGeometry(20, 20, 180, 60);
        area->setFrameShape(QFrame::NoFrame);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto* card = new Card;
        card->setFixedSize(180, 200);
        area->setWidget(card);
        auto* spinner = new Spinner(12, card);
        spinner->move(40, 30);
        area->verticalScrollBar()->setValue(30 + scrolled);
        const PaintCount paints(spinner);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(spinner->flipping(), 5000);

        // Turning repaints nothing.
        QTest::qWait(100);
        const int painted = paints.count;
        for (int turns = 0; turns < 3; ++turns) {
            const int before = spinner->frame();
            QTRY_VERIFY_WITH_TIMEOUT(spinner->frame() != before, 5000);
        }
        QCOMPARE(paints.count, painted);

        // Beside the spinner too, so that a copy outside its visible part shows.
        const QRect around = QRect(spinner->mapTo(&window, QPoint()), spinner->size()).adjusted(-4, -4, 4, 4);
        QSet<int> seen;
        for (int attempt = 0; attempt < 200 && seen.size() < 3; ++attempt) {
            QTest::qWait(30);
            const int frame = spinner->frame();
            // What the display server holds of the window.
            QImage screen =
                window.screen()
                    ->grabWindow(window.winId(), around.x(), around.y(), around.width(), around.height())
                    .toImage()
                    .convertToFormat(QImage::Format_RGB32);
            if (spinner->frame() != frame || seen.contains(frame))
                continue;
            QImage expected = window.grab(around).toImage().convertToFormat(QImage::Format_RGB32);
            if (spinner->frame() != frame)
                continue;
            screen.setDevicePixelRatio(expected.devicePixelRatio());
            QCOMPARE(screen, expected);
            seen.insert(frame);
        }
        QCOMPARE(seen.size(), 3);
    }

    // A translucent window blends anew on every paint: the frames are painted there.
    void translucentWindowsPaint() {
        QWidget window;
        window.setAttribute(Qt::WA_TranslucentBackground);
        window.resize(100, 60);
        auto* spinner = new Spinner(12, &window);
        const PaintCount paints(spinner);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(paints.count >= 4, 5000);
        QVERIFY(!spinner->flipping());
    }
};

QTEST_MAIN(TestSpinnerFlipping)
#include "tst_spinnerflipping.moc"
