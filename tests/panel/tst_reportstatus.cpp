#include "panel/ReportStatus.h"

#include <QTest>

using ReportStatus::Group;
Q_DECLARE_METATYPE(ReportStatus::Group)

class ReportStatusTest : public QObject {
    Q_OBJECT

private slots:
    // Every known status and a few unknown ones: group, step and what the panel shows.
    void statuses_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<Group>("group");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("title");
        QTest::newRow("sent") << "sent" << Group::Working << 0 << "Sending";
        QTest::newRow("queued") << "queued" << Group::Working << 0 << "Queued";
        QTest::newRow("fixing") << "fixing" << Group::Working << 1 << "Agent working";
        QTest::newRow("checking") << "checking" << Group::Working << 1 << "Checking";
        QTest::newRow("rebuilding") << "rebuilding" << Group::Working << 2 << "Relaunching";
        QTest::newRow("review") << "review" << Group::Review << 3 << "Ready to review";
        QTest::newRow("verified") << "verified" << Group::Done << 3 << "Reviewed";
        QTest::newRow("committed") << "committed" << Group::Done << 3 << "Committed";
        QTest::newRow("resolved") << "resolved" << Group::Done << 3 << "Resolved";
        QTest::newRow("reverted") << "reverted" << Group::Done << 3 << "Reverted";
        QTest::newRow("interrupted") << "interrupted" << Group::Other << 3 << "Interrupted";
        QTest::newRow("stopped") << "stopped" << Group::Other << 3 << "Stopped";
        QTest::newRow("failed") << "failed" << Group::Other << 3 << "Failed";
        QTest::newRow("unknown word") << "paused" << Group::Other << 3 << "Paused";
        QTest::newRow("unknown words") << "waiting for CI" << Group::Other << 3 << "Waiting For Ci";
        QTest::newRow("upper case") << "SENT" << Group::Other << 3 << "Sent";
        QTest::newRow("accented") << "\u00e9tape deux" << Group::Other << 3 << "\u00c9tape Deux";
        QTest::newRow("combining mark") << "e\u0301tape" << Group::Other << 3 << "E\u0301tape";
        QTest::newRow("white space kept") << " two  words\n" << Group::Other << 3 << " Two  Words\n";
        QTest::newRow("empty") << "" << Group::Other << 3 << "";
    }
    void statuses() {
        QFETCH(QString, status);
        QFETCH(Group, group);
        QFETCH(int, step);
        QFETCH(QString, title);
        QCOMPARE(ReportStatus::group(status), group);
        QCOMPARE(ReportStatus::isWorking(status), group == Group::Working);
        QCOMPARE(ReportStatus::isDone(status), group == Group::Done);
        QCOMPARE(ReportStatus::isPending(status), group == Group::Working || group == Group::Review);
        QCOMPARE(ReportStatus::step(status), step);
        QCOMPARE(ReportStatus::title(status), title);
    }

    void reviewActions_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("help");
        QTest::newRow("commit") << "commit"
                                << "Commit fix"
                                << "Commit only the files the agent changed";
        QTest::newRow("verify") << "verify"
                                << "I\u2019ll commit"
                                << "Mark reviewed; commit it yourself";
        QTest::newRow("revert") << "revert"
                                << "Revert"
                                << "Put every file the agent changed back to how it was before the run";
    }
    void reviewActions() {
        QFETCH(QString, action);
        QFETCH(QString, title);
        QFETCH(QString, help);
        const ReviewAction* found = ReviewActions::find(action);
        QVERIFY(found);
        QCOMPARE(found->title, title);
        QCOMPARE(found->help, help);
        QVERIFY(!ReviewActions::find(action.toUpper()));
    }
};

QTEST_GUILESS_MAIN(ReportStatusTest)
#include "tst_reportstatus.moc"
