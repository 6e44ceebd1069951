// The panel with the real model against the reference bridge: a report goes out from the
// composer, its progress reaches review, and "Commit fix" ends it.
#include "foundation/Settings.h"
#include "panel/Composer.h"
#include "panel/Progress.h"
#include "panel/SimulatorPanelModel.h"
#include "panel/SimulatorPanelView.h"
#include "support/DrivenPanelModel.h"
#include "support/FakeSimulatorTool.h"
#include "support/ReferenceBridge.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

class TestPanelViewBridge : public QObject {
    Q_OBJECT

private slots:
    void reportFromComposerToCommit();
};

void TestPanelViewBridge::reportFromComposerToCommit() {
    ReferenceBridge bridge(120);
    QVERIFY2(bridge.start(), qPrintable(bridge.log()));
    QTemporaryDir dir;
    Settings settings(dir.filePath(QStringLiteral("settings.json")));
    settings.setBridgePort(bridge.port());

    const QByteArray listing =
        R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-17-2":[)"
        R"({"state":"Booted","udid":"5A1B2C3D-0000-4000-8000-000000000001","name":"iPhone 15 Pro"}]}})";
    FakeSimulatorTool tool(FakeSimulatorTool::device(listing, PanelStates::png()));
    PanelTimings timings;
    timings.previewDelay = std::chrono::milliseconds(50);
    timings.fastPoll = std::chrono::milliseconds(100);
    timings.slowPoll = std::chrono::milliseconds(300);
    SimulatorPanelModel model(tool, settings, timings);
    CountingPanelControl control;
    model.setController(&control);
    model.setVisible(true);
    model.setTrusted(true);
    model.setDeviceTitle(PanelStates::deviceTitle);
    model.startPolling();

    SimulatorPanelView view(model, settings, true);
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    // The first pass has read the bridge's settings, so the switches can be used.
    QTRY_VERIFY_WITH_TIMEOUT(view.agentSettings()->switchFor(QStringLiteral("autoDispatch"))->isEnabled(),
                             10000);

    model.select(PanelStates::draft().pins);
    QTRY_VERIFY_WITH_TIMEOUT(view.composer()->isVisible(), 10000);
    QTRY_COMPARE(QApplication::focusWidget(), view.composer()->editor());
    QTest::keyClicks(view.composer()->editor(), QStringLiteral("Make the Save button orange"));
    QTRY_VERIFY(view.composer()->sendButton()->isEnabled());
    view.composer()->sendButton()->click();

    Progress* progress = view.progress();
    QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 10000);
    auto* title = progress->findChild<QLabel*>(QStringLiteral("title"));
    auto* request = progress->findChild<QLabel*>(QStringLiteral("request"));
    QCOMPARE(request->text(), QStringLiteral("Make the Save button orange"));
    QVERIFY(!view.composer()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(title->text(), QStringLiteral("Ready to review"), 30000);

    auto* commit = progress->findChild<QAbstractButton*>(QStringLiteral("commit"));
    QVERIFY(commit->isVisible() && commit->isEnabled());
    commit->click();
    QTRY_COMPARE_WITH_TIMEOUT(title->text(), QStringLiteral("Committed"), 10000);
    QVERIFY(!progress->findChild<QWidget*>(QStringLiteral("reviewRow"))->isVisible());
    QVERIFY(progress->findChild<QWidget*>(QStringLiteral("finished"))->isVisible());
    QVERIFY(!model.error());
}

QTEST_MAIN(TestPanelViewBridge)
#include "tst_panelviewbridge.moc"
