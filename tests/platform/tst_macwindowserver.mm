// The macOS adapters against the real window server: run by the Mac workflow on a Mac's desktop,
// compile-checked on Linux. A click that leaves the Simulator active needs a person (or a trusted
// event tap); this checks everything that makes it so.

#include "foundation/Geometry.h"
#include "platform/macos/MacApplications.h"
#include "platform/macos/MacWindowList.h"
#include "simulator/FloatingPanel.h"

#include <QLabel>
#include <QTest>
#include <QWindow>

#import <AppKit/AppKit.h>

class TestMacWindowServer : public QObject {
    Q_OBJECT
private slots:
    void aShownWindowIsListedByItsNumber();
    void hostedInANonActivatingPanel_data();
    void hostedInANonActivatingPanel();
};

void TestMacWindowServer::aShownWindowIsListedByItsNumber() {
    platform::macos::MacWindowSystem windows;
    platform::macos::MacWindowList list;
    QLabel window(QStringLiteral("Listed"));
    window.setGeometry(200, 150, 320, 240);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const quint32 number = windows.number(*window.windowHandle());
    QVERIFY(number != 0);

    std::optional<platform::WindowEntry> listed;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const platform::WindowEntry& entry :
                 list.onScreenWindows().value_or(std::vector<platform::WindowEntry>{}))
                if (entry.number == number)
                    listed = entry;
            return listed.has_value();
        }(),
        5000);
    QCOMPARE(listed->ownerPid.value_or(0), qint32(QCoreApplication::applicationPid()));
    QCOMPARE(listed->layer.value_or(-1), qint64(0));
    // The bounds take in the title bar: top-left points, as the toolkit's frame.
    QCOMPARE(listed->bounds.value_or(QRectF()), QRectF(window.frameGeometry()));
}

void TestMacWindowServer::hostedInANonActivatingPanel_data() {
    QTest::addColumn<bool>("overlay");
    QTest::addColumn<NSInteger>("level");
    QTest::addColumn<bool>("shadow");

    QTest::newRow("the panel") << false << NSInteger(NSNormalWindowLevel) << true;
    QTest::newRow("the pick overlay") << true << NSInteger(NSFloatingWindowLevel) << false;
}

void TestMacWindowServer::hostedInANonActivatingPanel() {
    QFETCH(bool, overlay);
    QFETCH(NSInteger, level);
    QFETCH(bool, shadow);
    platform::macos::MacWindowSystem windows;
    FloatingPanel panel(windows, windows.compositing());
    panel.setContent(new QLabel(QStringLiteral("Panel")));
    QLabel overlayWindow(QStringLiteral("Overlay"), nullptr, Qt::Tool | Qt::FramelessWindowHint);
    QWidget& widget = overlay ? static_cast<QWidget&>(overlayWindow) : panel;
    widget.setGeometry(200, 150, 320, 240);
    widget.winId();
    NSView* view = reinterpret_cast<NSView*>(widget.windowHandle()->winId());
    NSWindow* toolkits = [view window];
    // As the panel controller and the pick overlay show them.
    if (!overlay)
        windows.setAuxiliary(*widget.windowHandle());
    widget.show();
    if (overlay)
        windows.showOverlay(*widget.windowHandle());
    QVERIFY(QTest::qWaitForWindowExposed(&widget));

    // A panel of ours, made non-activating when it was created; the toolkit's window is gone.
    NSWindow* native = [view window];
    QVERIFY(native != toolkits);
    QVERIFY(![toolkits isVisible]);
    QCOMPARE(QString::fromUtf8([NSStringFromClass([native class]) UTF8String]),
             QStringLiteral("TallyrigHostPanel"));
    NSPanel* shown = (NSPanel*)native;
    QVERIFY([shown styleMask] & NSWindowStyleMaskNonactivatingPanel);
    QCOMPARE(NSInteger([shown level]), level);
    QCOMPARE(NSUInteger([shown collectionBehavior]), NSUInteger(258));
    QVERIFY(![shown hidesOnDeactivate]);
    QVERIFY([shown becomesKeyOnlyIfNeeded]);
    QCOMPARE(bool([shown hasShadow]), shadow);
    QVERIFY([shown isVisible]);

    // The toolkit re-flagging its window leaves ours as it is.
    widget.windowHandle()->setFlags(widget.windowHandle()->flags());
    QVERIFY([shown styleMask] & NSWindowStyleMaskNonactivatingPanel);
    QCOMPARE(NSInteger([shown level]), level);

    // It is where the widget is placed, and keeps its number while hidden.
    widget.setGeometry(240, 180, 300, 200);
    const double primaryHeight = [[[NSScreen screens] objectAtIndex:0] frame].size.height;
    const QRectF expected = Geometry::cocoa(QRectF(240, 180, 300, 200), primaryHeight);
    const auto frame = [shown] {
        const NSRect rect = [shown frame];
        return QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    };
    QTRY_COMPARE(frame(), expected);
    const quint32 number = windows.number(*widget.windowHandle());
    QCOMPARE(number, quint32([shown windowNumber]));
    QVERIFY(number > 0);
    widget.hide();
    QTRY_VERIFY(![shown isVisible]);
    widget.show();
    QTRY_VERIFY([shown isVisible]);
    QCOMPARE(windows.number(*widget.windowHandle()), number);
}

QTEST_MAIN(TestMacWindowServer)
#include "tst_macwindowserver.moc"
