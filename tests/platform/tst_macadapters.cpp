// What the macOS adapters do beyond the targeting tables they share with the fake ports
// (tst_simulatorwindow_mac, tst_elementpicker_mac): values of the wrong type, writing, trust, and
// an application that stops answering. Every test ends with each Core Foundation object released
// exactly once.

#include "simulator/AX.h"
#include "support/TargetingThrough.h"

#include <QElapsedTimer>
#include <QTest>

using platform::AXElementRef;
using platform::AXValue;
Q_DECLARE_METATYPE(AXValue)

class TestMacAdapters : public QObject {
    Q_OBJECT
private slots:
    void windowValues_data();
    void windowValues();
    void valuesWithoutAPortKind();
    void writing_data();
    void writing();
    void trust();
    void silentApplication_data();
    void silentApplication();
    void cleanup() { checkReleased(); }
};

void TestMacAdapters::windowValues_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");    // invalid: the key is missing
    QTest::addColumn<QVariant>("expected"); // the member read; invalid: none

    const QVariantMap rect{{"X", 1.0}, {"Y", 2.0}, {"Width", 300.0}, {"Height", 400.0}};
    QTest::newRow("pid") << "kCGWindowOwnerPID" << QVariant(qlonglong(500)) << QVariant(500);
    QTest::newRow("pid as text") << "kCGWindowOwnerPID" << QVariant("500") << QVariant();
    QTest::newRow("pid as a fraction") << "kCGWindowOwnerPID" << QVariant(500.5) << QVariant();
    QTest::newRow("pid past 32 bits") << "kCGWindowOwnerPID" << QVariant(qlonglong(1) << 33) << QVariant();
    QTest::newRow("layer as a Boolean") << "kCGWindowLayer" << QVariant(true) << QVariant();
    QTest::newRow("number above 2^31")
        << "kCGWindowNumber" << QVariant(qlonglong(3000000000)) << QVariant(3000000000u);
    QTest::newRow("negative number") << "kCGWindowNumber" << QVariant(qlonglong(-7)) << QVariant();
    QTest::newRow("number past 32 bits") << "kCGWindowNumber" << QVariant(qlonglong(1) << 32) << QVariant();
    QTest::newRow("bounds") << "kCGWindowBounds" << QVariant(rect) << QVariant(QRectF(1, 2, 300, 400));
    QTest::newRow("bounds as text") << "kCGWindowBounds" << QVariant("1 2 300 400") << QVariant();
    QTest::newRow("bounds without a height")
        << "kCGWindowBounds" << QVariant(QVariantMap{{"X", 1.0}, {"Y", 2.0}, {"Width", 300.0}}) << QVariant();
    QTest::newRow("bounds of texts") << "kCGWindowBounds"
                                     << QVariant(QVariantMap{
                                            {"X", "1"}, {"Y", "2"}, {"Width", "3"}, {"Height", "4"}})
                                     << QVariant();
    QTest::newRow("bounds missing") << "kCGWindowBounds" << QVariant() << QVariant();
}

void TestMacAdapters::windowValues() {
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    FakeDesktop desktop;
    desktop.windows.entries = {FakeWindowList::entry(9, 70, QRectF(0, 0, 500, 500), 0)};
    platform::WindowList& windows = portsOf(desktop).windows;
    FakeApple::setWindowValue(0, key, value);

    const auto list = windows.onScreenWindows();
    QCOMPARE(FakeApple::lastListRequest(), std::make_pair(17u, 0u));
    QVERIFY(list && list->size() == 1);
    const platform::WindowEntry& entry = list->front();
    const auto member = [&]() -> QVariant {
        if (key == "kCGWindowOwnerPID")
            return entry.ownerPid ? QVariant(*entry.ownerPid) : QVariant();
        if (key == "kCGWindowLayer")
            return entry.layer ? QVariant(*entry.layer) : QVariant();
        if (key == "kCGWindowNumber")
            return entry.number ? QVariant(*entry.number) : QVariant();
        return entry.bounds ? QVariant(*entry.bounds) : QVariant();
    };
    QCOMPARE(member(), expected);
    // The other members are read as they stand.
    QCOMPARE(entry.ownerPid.has_value() || key == "kCGWindowOwnerPID", true);
    QCOMPARE(entry.number.has_value() || key == "kCGWindowNumber", true);
}

void TestMacAdapters::valuesWithoutAPortKind() {
    FakeDesktop desktop;
    auto& application = desktop.application(9);
    for (const char* kind : {"rect", "date", "mixed"})
        FakeApple::setRawAttribute(application, QLatin1String(kind), QLatin1String(kind));
    const AXElementRef element = accessibilityOf(desktop).application(9, AX::messagingTimeout);
    for (const char* kind : {"rect", "date", "mixed"})
        QVERIFY2(!element->attribute(QLatin1String(kind)), kind);
}

void TestMacAdapters::writing_data() {
    QTest::addColumn<AXValue>("value");
    QTest::addColumn<bool>("written");

    FakeDesktop elements;
    QTest::newRow("Boolean") << AXValue(true) << true;
    QTest::newRow("number") << AXValue(2.5) << true;
    QTest::newRow("text") << AXValue(QStringLiteral("Done")) << true;
    QTest::newRow("point") << AXValue(QPointF(3, 4)) << true;
    QTest::newRow("size") << AXValue(QSizeF(5, 6)) << true;
    QTest::newRow("a list is never written") << AXValue(QList<AXElementRef>{}) << false;
}

void TestMacAdapters::writing() {
    QFETCH(AXValue, value);
    QFETCH(bool, written);
    FakeDesktop desktop;
    FakeAXElement& application = desktop.application(9);
    const AXElementRef element = accessibilityOf(desktop).application(9, AX::messagingTimeout);

    QCOMPARE(element->setAttribute(QStringLiteral("AXThing"), value), written);
    QCOMPARE(application.attributes.value(QStringLiteral("AXThing")) == value, written);
    QVERIFY(element->performAction(QStringLiteral("AXRaise")));
    QCOMPARE(application.actions, QStringList{"AXRaise"});
}

void TestMacAdapters::trust() {
    FakeDesktop desktop;
    desktop.accessibility.trusted = false;
    platform::Accessibility& accessibility = accessibilityOf(desktop);
    QVERIFY(!accessibility.isTrusted());
    QVERIFY(!accessibility.requestTrust());
    desktop.accessibility.grantsOnRequest = true;
    QVERIFY(accessibility.requestTrust());
    QCOMPARE(FakeApple::prompts(), 2);

    QVERIFY(accessibility.openSettings());
    desktop.accessibility.hasSettings = false;
    QVERIFY(!accessibility.openSettings());
    const QString settings =
        QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    QCOMPARE(FakeApple::openedUrls(), QStringList({settings, settings}));
}

void TestMacAdapters::silentApplication_data() {
    QTest::addColumn<QString>("silent"); // the element that stops answering
    QTest::addColumn<int>("asked");      // the checks that find it silent before it answers again

    QTest::newRow("the application") << "application" << 2;
    QTest::newRow("a child") << "child" << 0;
    QTest::newRow("the element at a point") << "hit" << 0;
}

void TestMacAdapters::silentApplication() {
    QFETCH(QString, silent);
    QFETCH(int, asked);
    FakeDesktop desktop;
    FakeAXElement& application = desktop.application(9);
    const auto child = desktop.element(QStringLiteral("child"));
    child->set(QStringLiteral("AXTitle"), QStringLiteral("Save"));
    application.set(QStringLiteral("AXTitle"), QStringLiteral("Simulator")).setChildren({child});
    desktop.accessibility.hit = [&](float, float) { return platform::AXElementRef(child); };
    platform::Accessibility& accessibility = accessibilityOf(desktop);
    const AXElementRef app = accessibility.application(9, AX::messagingTimeout);
    AXElementRef element = app;
    if (silent == "child")
        element = AX::value<QList<AXElementRef>>(*app, QStringLiteral("AXChildren")).value().front();
    else if (silent == "hit")
        element = accessibility.elementAt(app, 10, 10);
    FakeAXElement& node = silent == "application" ? application : *child;
    const int calls = FakeApple::accessibilityCalls();

    node.answers = false;
    QElapsedTimer silence;
    silence.start();
    QVERIFY(!element->attribute(QStringLiteral("AXTitle")));
    // It cost one time-out, the application's; until it answers again nothing more is asked of it.
    QCOMPARE(FakeApple::waited(), AX::messagingTimeout);
    QVERIFY(!element->attribute(QStringLiteral("AXTitle")));
    QVERIFY(!app->performAction(QStringLiteral("AXRaise")));
    QVERIFY(!accessibility.elementAt(app, 10, 10));
    QCOMPARE(FakeApple::accessibilityCalls(), calls + 1);

    // Asked again on the main thread (checkReleased), ever more rarely: after 1 s and 2 s, where a
    // check every 0.5 s would have asked twice by 1 s.
    QTRY_COMPARE_WITH_TIMEOUT(FakeApple::accessibilityCalls(), calls + 1 + asked, 10000);
    if (asked > 0)
        QVERIFY2(silence.elapsed() >= 1800, qPrintable(QString::number(silence.elapsed())));
    QCOMPARE(FakeApple::waited(), AX::messagingTimeout * (1 + asked));

    node.answers = true;
    QTRY_VERIFY_WITH_TIMEOUT(element->attribute(QStringLiteral("AXTitle")).has_value(), 10000);
    QVERIFY(accessibility.elementAt(app, 10, 10));
}

QTEST_GUILESS_MAIN(TestMacAdapters)
#include "tst_macadapters.moc"
