// The progress view: what each status shows, the step track, the elapsed seconds, the review
// actions and the two-press revert button.
#include "PanelViewFixture.h"
#include "foundation/AppNotifications.h"
#include "panel/Progress.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTimer>

namespace {

TrackedReport report(const QString& status, const QString& request = QStringLiteral("Bigger title"),
                     QDateTime started = QDateTime::currentDateTimeUtc()) {
    return TrackedReport{QStringLiteral("r-1"), request, started, status, nullptr};
}

// Compressed arming, and a clock the test moves by hand.
struct Clock {
    QDateTime now = QDateTime::fromString(QStringLiteral("2024-05-01T09:00:00Z"), Qt::ISODate);
    PanelViewTimings timings(std::chrono::milliseconds arming = std::chrono::milliseconds(150)) {
        PanelViewTimings result;
        result.revertArming = arming;
        result.revertReading = std::chrono::milliseconds(0);
        result.now = [this] { return now; };
        return result;
    }
};

} // namespace

class TestProgress : public QObject {
    Q_OBJECT

private slots:
    void partsFollowTheStatus_data();
    void partsFollowTheStatus();
    void stepTrackLabel_data();
    void stepTrackLabel();
    void elapsedSecondsAreTruncated_data();
    void elapsedSecondsAreTruncated();
    void elapsedMovesEverySecondWhileWorking();
    void reviewActionsWaitForTheAnswer();
    void revertArmsThenDisarms();
    void revertActsOnASecondPress();
    void anEarlierArmingsTimerEndsALaterArming();
    void dismissAndDashboard();
};

void TestProgress::partsFollowTheStatus_data() {
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("indicator");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("track");
    QTest::addColumn<bool>("review");

    QTest::newRow("rebuilding") << "rebuilding"
                                << "Bigger"
                                << "working"
                                << "Relaunching" << true << false;
    QTest::newRow("sent") << "sent"
                          << "Bigger"
                          << "working"
                          << "Sending" << true << false;
    QTest::newRow("review") << "review"
                            << "Bigger"
                            << "inReview"
                            << "Ready to review" << true << true;
    QTest::newRow("committed") << "committed"
                               << "Bigger"
                               << "finished"
                               << "Committed" << true << false;
    QTest::newRow("reverted") << "reverted"
                              << "Bigger"
                              << "finished"
                              << "Reverted" << true << false;
    QTest::newRow("failed") << "failed"
                            << "Bigger"
                            << "other"
                            << "Failed" << false << false;
    QTest::newRow("unknown status") << "paused"
                                    << "Bigger"
                                    << "other"
                                    << "Paused" << false << false;
    QTest::newRow("empty request") << "fixing"
                                   << ""
                                   << "working"
                                   << "Agent working" << true << false;
}

void TestProgress::partsFollowTheStatus() {
    QFETCH(QString, status);
    QFETCH(QString, request);
    QFETCH(QString, indicator);
    QFETCH(QString, title);
    QFETCH(bool, track);
    QFETCH(bool, review);

    PanelViewFixture panel;
    panel.model.setReport(report(status, request));
    const bool working = indicator == QLatin1String("working");
    for (const char* each : {"working", "inReview", "finished", "other"})
        QCOMPARE(PanelViewFixture::shows(panel.part(each)), indicator == QLatin1String(each));
    QCOMPARE(panel.part<QLabel>("title")->text(), title);
    QCOMPARE(PanelViewFixture::shows(panel.part("elapsed")), working);
    QCOMPARE(PanelViewFixture::shows(panel.part("dismiss")), !working);
    QCOMPARE(PanelViewFixture::shows(panel.part("request")), !request.isEmpty());
    QCOMPARE(PanelViewFixture::shows(panel.part("stepTrack")), track);
    QCOMPARE(PanelViewFixture::shows(panel.part("reviewRow")), review);
    QVERIFY(PanelViewFixture::shows(panel.part("dashboardLink")));
}

void TestProgress::stepTrackLabel_data() {
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("label");
    QTest::newRow("sent") << "sent"
                          << "Step 1 of 4: Sent";
    QTest::newRow("queued") << "queued"
                            << "Step 1 of 4: Sent";
    QTest::newRow("fixing") << "fixing"
                            << "Step 2 of 4: Agent";
    QTest::newRow("checking") << "checking"
                              << "Step 2 of 4: Agent";
    QTest::newRow("rebuilding") << "rebuilding"
                                << "Step 3 of 4: Relaunch";
    QTest::newRow("review") << "review"
                            << "Step 4 of 4: Review";
    QTest::newRow("verified") << "verified"
                              << "Step 4 of 4: Review";
}

void TestProgress::stepTrackLabel() {
    QFETCH(QString, status);
    QFETCH(QString, label);

    PanelViewFixture panel;
    panel.model.setReport(report(status));
    QWidget* track = panel.part("stepTrack");
    QCOMPARE(track->accessibleName(), label);
    // Its parts are drawn, not children, so the label is all assistive technologies find.
    QVERIFY(track->findChildren<QWidget*>().isEmpty());
}

void TestProgress::elapsedSecondsAreTruncated_data() {
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<QString>("shown");
    QTest::newRow("just sent") << 400 << "0s";
    QTest::newRow("61.9 s") << 61900 << "61s";
    QTest::newRow("an hour") << 3600999 << "3600s";
    QTest::newRow("a clock that went back") << -5000 << "0s";
}

void TestProgress::elapsedSecondsAreTruncated() {
    QFETCH(int, milliseconds);
    QFETCH(QString, shown);

    Clock clock;
    PanelViewFixture panel(true, clock.timings());
    panel.model.setReport(
        report(QStringLiteral("fixing"), QStringLiteral("Bigger"), clock.now.addMSecs(-milliseconds)));
    QCOMPARE(panel.part<QLabel>("elapsed")->text(), shown);
    QCOMPARE(panel.part("statusRow")->accessibleName(), QStringLiteral("Agent working, ") + shown);
}

void TestProgress::elapsedMovesEverySecondWhileWorking() {
    Clock clock;
    PanelViewFixture panel(true, clock.timings());
    panel.model.setReport(
        report(QStringLiteral("fixing"), QStringLiteral("Bigger"), clock.now.addMSecs(-1900)));
    QVERIFY(panel.show());
    auto* elapsed = panel.part<QLabel>("elapsed");
    QCOMPARE(elapsed->text(), QStringLiteral("1s"));
    clock.now = clock.now.addSecs(5);
    QTRY_COMPARE_WITH_TIMEOUT(elapsed->text(), QStringLiteral("6s"), 3000);
    QVERIFY(panel.view->progress()->isTiming());

    // Only a working report is timed: once it is in review nothing moves.
    panel.model.setStatus(QStringLiteral("r-1"), QStringLiteral("review"));
    QVERIFY(!PanelViewFixture::shows(elapsed));
    QVERIFY(!panel.view->progress()->isTiming());
}

void TestProgress::reviewActionsWaitForTheAnswer() {
    PanelViewFixture panel;
    panel.model.setReport(report(QStringLiteral("review")));
    QWidget* row = panel.part("reviewRow");
    for (const char* name : {"commit", "verify", "revert"})
        QVERIFY(panel.part(name)->isEnabled());
    QCOMPARE(panel.part<QAbstractButton>("commit")->toolTip(),
             QStringLiteral("Commit only the files the agent changed"));
    QCOMPARE(panel.part<QAbstractButton>("verify")->text(), QStringLiteral("I\u2019ll commit"));

    panel.part<QAbstractButton>("commit")->click();
    QVERIFY(panel.model.acting());
    for (const char* name : {"commit", "verify", "revert"})
        QVERIFY(!panel.part(name)->isEnabled());
    QVERIFY(!row->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!panel.model.acting(), 5000);
    QVERIFY(panel.part("commit")->isEnabled());
    QCOMPARE(panel.requests(QStringLiteral("/api/reports/r-1/commit")), 1);
}

void TestProgress::revertArmsThenDisarms() {
    Clock clock;
    PanelViewFixture panel(true, clock.timings());
    panel.model.setReport(report(QStringLiteral("review")));
    auto* revert = panel.part<RevertButton>("revert");
    QCOMPARE(revert->text(), QStringLiteral("Revert"));
    QVERIFY(revert->accessibleDescription().isEmpty());

    revert->click();
    QVERIFY(revert->armed());
    QCOMPARE(revert->text(), QStringLiteral("Undo files?"));
    QCOMPARE(revert->accessibleDescription(), QStringLiteral("Activate again to undo the agent's changes"));
    QTRY_VERIFY_WITH_TIMEOUT(!revert->armed(), 5000);
    QCOMPARE(revert->text(), QStringLiteral("Revert"));
    QVERIFY(revert->accessibleDescription().isEmpty());
    QVERIFY(!panel.model.acting());
    QCOMPARE(panel.bridge.requestCount(), 0);
}

void TestProgress::revertActsOnASecondPress() {
    Clock clock;
    // A second press sooner than "Undo files?" can be read is the rest of a double-click.
    PanelViewTimings reading = clock.timings(std::chrono::milliseconds(60000));
    reading.revertReading = std::chrono::hours(1);
    PanelViewFixture doubled(true, reading);
    doubled.model.setReport(report(QStringLiteral("review")));
    QVERIFY(doubled.show());
    for (int press = 0; press < 2; ++press)
        QTest::mouseClick(doubled.part<RevertButton>("revert"), Qt::LeftButton);
    QVERIFY(doubled.part<RevertButton>("revert")->armed());
    QCOMPARE(doubled.bridge.requestCount(), 0);

    PanelViewFixture panel(true, clock.timings(std::chrono::milliseconds(60000)));
    panel.model.setReport(report(QStringLiteral("review")));
    auto* revert = panel.part<RevertButton>("revert");
    revert->click();
    revert->click();
    QVERIFY(!revert->armed());
    QCOMPARE(revert->text(), QStringLiteral("Revert"));
    QVERIFY(panel.model.acting());
    QTRY_VERIFY_WITH_TIMEOUT(!panel.model.acting(), 5000);
    QCOMPARE(panel.requests(QStringLiteral("/api/reports/r-1/revert")), 1);
    QCOMPARE(panel.bridge.requestCount(), 1);
}

void TestProgress::anEarlierArmingsTimerEndsALaterArming() {
    // Arming A, then B: A's timer ends B. A watch started between the two, as long as an arming,
    // comes due after A's timer and before B's own (precise timers of one length keep their order).
    const auto arming = std::chrono::milliseconds(600);
    Clock clock;
    PanelViewFixture panel(true, clock.timings(arming));
    panel.bridge.setHandler(
        [](const QByteArray&, const QString&) { return TestHttpServer::json("{}", 500); });
    panel.model.setReport(report(QStringLiteral("review")));
    auto* revert = panel.part<RevertButton>("revert");
    revert->click();
    std::optional<bool> armedAtWatch;
    QTimer::singleShot(arming, Qt::PreciseTimer, revert, [&] { armedAtWatch = revert->armed(); });
    revert->click();              // reverts (the bridge refuses; the report stays in review)
    panel.model.setActing(false); // so that B follows at once, while A's timer is still running
    revert->click();
    QVERIFY(revert->armed());
    QTRY_VERIFY_WITH_TIMEOUT(armedAtWatch.has_value(), 5000);
    QCOMPARE(*armedAtWatch, false);
    QTRY_COMPARE(panel.requests(QStringLiteral("/api/reports/r-1/revert")), 1);
}

void TestProgress::dismissAndDashboard() {
    // Sending hands the editor's focus on to the link as if tabbing: nobody moved it, so no ring.
    PanelViewFixture sent;
    sent.model.setDraft(PanelStates::draft());
    QVERIFY(sent.show());
    sent.model.setReport(report(QStringLiteral("fixing")));
    sent.model.setDraft(std::nullopt);
    QWidget* link = sent.part("dashboardLink");
    QCOMPARE(QApplication::focusWidget(), link);
    const QImage handedOn = link->grab().toImage();
    link->clearFocus();
    QCOMPARE(link->grab().toImage(), handedOn);

    PanelViewFixture panel;
    panel.model.setReport(report(QStringLiteral("committed")));
    auto* dismiss = panel.part<QAbstractButton>("dismiss");
    QCOMPARE(dismiss->accessibleName(), QStringLiteral("Dismiss progress"));
    QCOMPARE(dismiss->toolTip(), QStringLiteral("Dismiss"));

    AppNotifications notifications;
    panel.model.setNotifications(&notifications);
    QSignalSpy posted(&notifications, &AppNotifications::posted);
    panel.part<QAbstractButton>("dashboardLink")->click();
    QCOMPARE(posted.size(), 1);
    QCOMPARE(posted.first().at(0).toString(), AppNotifications::openTallyrigReport);
    QCOMPARE(posted.first().at(1).toString(), QStringLiteral("r-1"));

    dismiss->click();
    QVERIFY(!panel.model.report());
    QVERIFY(panel.model.dismissed().contains(QStringLiteral("r-1")));
    QVERIFY(!PanelViewFixture::shows(panel.part("progress")));
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
