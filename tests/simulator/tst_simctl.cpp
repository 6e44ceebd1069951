#include "foundation/Geometry.h"
#include "foundation/PanelError.h"
#include "platform/ProcessSimulatorTool.h"
#include "simulator/Simctl.h"
#include "simulator/SimulatorWindow.h"
#include "support/FakeSimulatorTool.h"
#include "support/Settle.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

QByteArray device(const char* udid, const char* name, const char* state = "Booted") {
    return QByteArray(R"({"udid":")") + udid + R"(","name":")" + name + R"(","state":")" + state + R"("})";
}

} // namespace

class TestSimctl : public QObject {
    Q_OBJECT
private slots:
    void choosesTheBootedDevice_data();
    void choosesTheBootedDevice();
    void toolFailures_data();
    void toolFailures();
    void screenshotFileNeverStays_data();
    void screenshotFileNeverStays();
    void realToolRuns();
    void realToolIsLookedUpOnPath();
    void mapping_data();
    void mapping();
    void titleParts_data();
    void titleParts();
    void geometry();
};

void TestSimctl::choosesTheBootedDevice_data() {
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("runtime");  // empty: none given
    QTest::addColumn<QString>("expected"); // a udid, or the error's text
    const QByteArray ios16 = "com.apple.CoreSimulator.SimRuntime.iOS-16-4";
    const QByteArray ios17 = "com.apple.CoreSimulator.SimRuntime.iOS-17-2";
    const auto listing = [](const QList<QPair<QByteArray, QByteArray>>& groups) {
        QByteArray text = R"({"devices":{)";
        for (qsizetype i = 0; i < groups.size(); ++i)
            text += (i ? "," : "") + QByteArray("\"") + groups[i].first + "\":[" + groups[i].second + "]";
        return text + "}}";
    };

    QTest::newRow("no booted device")
        << listing({{ios17, device("A", "iPhone 15", "Shutdown")}}) << "iPhone 15"
        << ""
        << "No booted simulator";
    QTest::newRow("one booted device under another name")
        << listing({{ios17, device("A", "iPad Air")}}) << "iPhone 15"
        << "iOS 17.2"
        << "A";
    QTest::newRow("two others")
        << listing({{ios17, device("A", "iPad Air") + "," + device("B", "iPhone 14")}}) << "iPhone 15"
        << "" << QStringLiteral("Can\u2019t tell which booted simulator is \u201ciPhone 15\u201d");
    QTest::newRow("same name, runtime picks")
        << listing({{ios16, device("OLD", "iPhone 15")}, {ios17, device("NEW", "iPhone 15")}}) << "iPhone 15"
        << "iOS 17.2"
        << "NEW";
    QTest::newRow("same name, unknown runtime takes the first")
        << listing({{ios16, device("OLD", "iPhone 15")}, {ios17, device("NEW", "iPhone 15")}}) << "iPhone 15"
        << "iOS 18.0"
        << "OLD";
    QTest::newRow("same name, no runtime takes the first")
        << listing({{ios16, device("OLD", "iPhone 15")}, {ios17, device("NEW", "iPhone 15")}}) << "iPhone 15"
        << ""
        << "OLD";
    QTest::newRow("entries without udid, with a non-text name, not booted are skipped")
        << listing(
               {{ios17, R"({"name":"iPhone 15","state":"Booted"},{"udid":"X","name":5,"state":"Booted"},)" +
                            device("S", "iPhone 15", "booted") + "," + device("OK", "iPad")}})
        << "iPhone 15"
        << ""
        << "OK";
    QTest::newRow("no devices member") << QByteArray(R"({"runtimes":[]})") << "iPhone 15"
                                       << ""
                                       << "No booted simulator";
    QTest::newRow("devices is an array")
        << QByteArray(R"({"devices":[)" + device("A", "iPhone 15") + "]}") << "iPhone 15"
        << ""
        << "No booted simulator";
    QTest::newRow("a group holding a non-object")
        << listing({{ios16, "5"}, {ios17, device("A", "iPhone 15")}}) << "iPhone 15"
        << ""
        << "No booted simulator";
    QTest::newRow("top level is an array") << QByteArray("[]") << "iPhone 15"
                                           << ""
                                           << "No booted simulator";
}

void TestSimctl::choosesTheBootedDevice() {
    QFETCH(QByteArray, listing);
    QFETCH(QString, name);
    QFETCH(QString, runtime);
    QFETCH(QString, expected);
    FakeSimulatorTool tool(FakeSimulatorTool::device(listing, {}));
    const auto found =
        settle(Simctl::device(tool, name, runtime.isEmpty() ? std::nullopt : std::optional(runtime)));
    QCOMPARE(tool.calls, QList<QStringList>({{"simctl", "list", "devices", "booted", "-j"}}));
    if (found.value) {
        QCOMPARE(found.value->udid, expected);
    } else {
        QVERIFY(found.failedWith<PanelError>());
        QCOMPARE(found.description(), expected);
    }
}

void TestSimctl::toolFailures_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<platform::ToolRun>("run");
    QTest::addColumn<bool>("panelError");
    QTest::addColumn<QString>("message");
    QTest::newRow("listing cannot launch")
        << "device" << platform::ToolRun{QStringLiteral("no such file"), 0, {}} << false << "no such file";
    QTest::newRow("listing exits non-zero")
        << "device" << platform::ToolRun{std::nullopt, 1, "{\"devices\":{}}"} << true << "simctl list failed";
    QTest::newRow("listing isn't JSON")
        << "device" << platform::ToolRun{std::nullopt, 0, "{\"devices\""} << false
        << QStringLiteral("The simulator tool\u2019s device list isn\u2019t valid JSON (at byte 11)");
    QTest::newRow("listing with an overflowing number")
        << "device" << platform::ToolRun{std::nullopt, 0, "{\"devices\":{},\"n\":1e400}"} << false
        << QStringLiteral("The simulator tool\u2019s device list holds a number too large to read");
    QTest::newRow("screenshot exits non-zero")
        << "screenshot" << platform::ToolRun{std::nullopt, 2, {}} << true << "simctl io failed";
}

void TestSimctl::toolFailures() {
    QFETCH(QString, operation);
    QFETCH(platform::ToolRun, run);
    QFETCH(bool, panelError);
    QFETCH(QString, message);
    FakeSimulatorTool tool([run](const QStringList&) { return run; });
    const auto settled = operation == "device"
                             ? settle(Simctl::device(tool, "iPhone", std::nullopt)).description()
                             : settle(Simctl::screenshot(tool, "UDID")).description();
    QCOMPARE(settled, message);
    const bool isPanel = operation == "device"
                             ? settle(Simctl::device(tool, "iPhone", std::nullopt)).failedWith<PanelError>()
                             : settle(Simctl::screenshot(tool, "UDID")).failedWith<PanelError>();
    QCOMPARE(isPanel, panelError);
}

void TestSimctl::screenshotFileNeverStays_data() {
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<bool>("writes");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("written") << 0 << true << true;
    QTest::newRow("tool fails after writing") << 1 << true << false;
    QTest::newRow("never written") << 0 << false << false;
}

void TestSimctl::screenshotFileNeverStays() {
    QFETCH(int, exitStatus);
    QFETCH(bool, writes);
    QFETCH(bool, succeeds);
    QString path;
    FakeSimulatorTool tool([&](const QStringList& arguments) {
        path = arguments.last();
        if (writes) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("\x89PNG bytes");
        }
        return platform::ToolRun{std::nullopt, exitStatus, "ignored"};
    });
    const auto shot = settle(Simctl::screenshot(tool, "ABC"));
    QCOMPARE(tool.calls.value(0).mid(0, 5), QStringList({"simctl", "io", "ABC", "screenshot", "--type=png"}));
    QVERIFY(
        QRegularExpression("^tallyrig-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.png$")
            .match(QFileInfo(path).fileName())
            .hasMatch());
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(shot.value.has_value(), succeeds);
    if (succeeds)
        QCOMPARE(*shot.value, QByteArray("\x89PNG bytes"));
    else
        QVERIFY(!shot.description().isEmpty());
}

void TestSimctl::realToolRuns() {
    const QString fake = QStringLiteral(TALLYRIG_TEST_FIXTURES "/xcrun-fake.sh");
    platform::ProcessSimulatorTool tool(childProcesses(), fake, 500ms);

    const auto echoed = settle(Simctl::run(tool, {"echo", "two words", "*", "$HOME"}));
    QVERIFY2(echoed.value, qPrintable(echoed.description()));
    QCOMPARE(*echoed.value, QByteArray("echo\ntwo words\n*\n$HOME\n"));

    const auto failed = settle(Simctl::run(tool, {"fail"}));
    QVERIFY(failed.failedWith<PanelError>());
    QCOMPARE(failed.description(), "simctl fail failed");

    // A hanging tool is given up after its limit.
    auto hung = Simctl::run(tool, {"hang"});
    QTRY_VERIFY_WITH_TIMEOUT(hung.isReady(), 30000);
    QCOMPARE(settle(std::move(hung)).description(), "simctl hang failed");

    // The quit path ends a run long before its limit.
    platform::ProcessSimulatorTool patient(childProcesses(), fake, 600s);
    auto held = Simctl::run(patient, {"hang"});
    childProcesses().killTracked();
    QTRY_VERIFY_WITH_TIMEOUT(held.isReady(), 10000);
    QCOMPARE(settle(std::move(held)).description(), "simctl hang failed");

    platform::ProcessSimulatorTool missing(childProcesses(), QStringLiteral("/nonexistent/xcrun"));
    const auto unlaunched = settle(Simctl::run(missing, {"list"}));
    QVERIFY(!unlaunched.failedWith<PanelError>());
    QVERIFY(!unlaunched.description().isEmpty());
}

void TestSimctl::realToolIsLookedUpOnPath() {
    QTemporaryDir bin;
    QVERIFY(QFile::link(QStringLiteral(TALLYRIG_TEST_FIXTURES "/xcrun-fake.sh"), bin.filePath("xcrun")));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ":" + path);
    platform::ProcessSimulatorTool tool(childProcesses());
    const auto echoed = settle(Simctl::run(tool, {"echo", "found"}));
    qputenv("PATH", bin.path().toUtf8() + "/none");
    const auto absent = settle(Simctl::run(tool, {"echo"}));
    qputenv("PATH", path);
    QCOMPARE(echoed.value.value_or("?"), QByteArray("echo\nfound\n"));
    QCOMPARE(absent.description(), QStringLiteral("xcrun isn\u2019t installed"));
}

void TestSimctl::mapping_data() {
    QTest::addColumn<QSizeF>("pixels");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("3x phone") << QSizeF(1179, 2556) << "iPhone 15 Pro" << QSizeF(393, 852);
    QTest::newRow("828 short side is 2x") << QSizeF(828, 1792) << "iPhone 11" << QSizeF(414, 896);
    QTest::newRow("landscape 828 is 2x") << QSizeF(1792, 828) << "iPhone 11" << QSizeF(896, 414);
    QTest::newRow("iPad is 2x") << QSizeF(2048, 2732) << "iPad Pro" << QSizeF(1024, 1366);
    QTest::newRow("halves away from zero") << QSizeF(1001, 1500) << "iPad mini" << QSizeF(501, 750);
    QTest::newRow("ipad lower case is not an iPad") << QSizeF(1001, 1500) << "ipad" << QSizeF(334, 500);
}

void TestSimctl::mapping() {
    QFETCH(QSizeF, pixels);
    QFETCH(QString, name);
    QFETCH(QSizeF, size);
    const QRectF screen(400, 120, 300, 650);
    const DeviceMapping mapping(screen, pixels, name);
    QCOMPARE(mapping.size, size);
    QCOMPARE(mapping.screen, screen);
    QCOMPARE(mapping.factor, size.width() / 300);
}

void TestSimctl::titleParts_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<QString>("runtime"); // "-" for none
    QTest::newRow("name and runtime") << QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2") << "iPhone 15 Pro"
                                      << "iOS 17.2";
    QTest::newRow("separator twice") << QStringLiteral("iPhone \u2013 iOS 17.2 \u2013 Rosetta") << "iPhone"
                                     << "iOS 17.2";
    QTest::newRow("no separator") << "Simulator"
                                  << "Simulator"
                                  << "-";
    QTest::newRow("a hyphen is not the separator") << "iPhone - iOS 17"
                                                   << "iPhone - iOS 17"
                                                   << "-";
    QTest::newRow("empty runtime") << QStringLiteral("iPad \u2013 ") << "iPad"
                                   << "";
}

void TestSimctl::titleParts() {
    QFETCH(QString, title);
    QFETCH(QString, deviceName);
    QFETCH(QString, runtime);
    SimulatorWindow window;
    window.title = title;
    QCOMPARE(window.deviceName(), deviceName);
    QCOMPARE(window.runtime().value_or("-"), runtime);
}

void TestSimctl::geometry() {
    QCOMPARE(Geometry::cocoa(QRectF(0, 0, 100, 50), 900), QRectF(0, 850, 100, 50));
    QCOMPARE(Geometry::cocoa(Geometry::cocoa(QRectF(3, 7, 10, 20), 900), 900), QRectF(3, 7, 10, 20));
    QCOMPARE(Geometry::cocoa(QPointF(5, 100), 900), QPointF(5, 800));

    const QRectF rect(10, 20, 30, 40);
    QVERIFY(Geometry::contains(rect, QPointF(10, 20)));
    QVERIFY(Geometry::contains(rect, QPointF(39.99, 59.99)));
    QVERIFY(!Geometry::contains(rect, QPointF(40, 30)));
    QVERIFY(!Geometry::contains(rect, QPointF(20, 60)));
    QVERIFY(Geometry::contains(rect, rect));
    QVERIFY(!Geometry::contains(rect, rect.adjusted(0, 0, 0.5, 0)));

    QCOMPARE(Geometry::integral(QRectF(10.4, 20.6, 300.2, 600.1)), QRectF(10, 20, 301, 601));
    QCOMPARE(Geometry::integral(QRectF(-0.5, -1.5, 1, 1)), QRectF(-1, -2, 2, 2));
    QCOMPARE(Geometry::intersection(QRectF(0, 0, 10, 10), QRectF(5, 5, 10, 10)), QRectF(5, 5, 5, 5));
    QVERIFY(Geometry::intersection(QRectF(0, 0, 10, 10), QRectF(10, 0, 10, 10)).isEmpty());
}

QTEST_GUILESS_MAIN(TestSimctl)
#include "tst_simctl.moc"
