// The macOS adapters against the real window server: run by the Mac workflow on a Mac's desktop,
// compile-checked on Linux.

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
    void thePanelIsANonActivatingPanel();
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

void TestMacWindowServer::thePanelIsANonActivatingPanel() {
    platform::macos::MacWindowSystem windows;
    FloatingPanel panel(windows, windows.compositing());
    panel.setContent(new QLabel(QStringLiteral("Panel")));
    panel.winId();
    // As the panel controller shows it.
    windows.setAuxiliary(*panel.windowHandle());
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));

    NSWindow* native = [reinterpret_cast<NSView*>(panel.windowHandle()->winId()) window];
    QVERIFY([native isKindOfClass:[NSPanel class]]);
    NSPanel* shown = (NSPanel*)native;
    QVERIFY([shown styleMask] & NSWindowStyleMaskNonactivatingPanel);
    QCOMPARE(NSInteger([shown level]), NSInteger(NSNormalWindowLevel));
    QCOMPARE(NSUInteger([shown collectionBehavior]), NSUInteger(258));
    QVERIFY(![shown hidesOnDeactivate]);
    QVERIFY([shown becomesKeyOnlyIfNeeded]);
    QVERIFY([shown hasShadow]);
    QCOMPARE(windows.number(*panel.windowHandle()), quint32([shown windowNumber]));
}

QTEST_MAIN(TestMacWindowServer)
#include "tst_macwindowserver.moc"
