// `Tallyrig --self-check` run as the first person on a new platform runs it: the real executable on
// the test desktop, beside the stand-in simulator with its tree, without it (its AXe reads the
// device), and with no simulator at all.

#include "support/StandinSimulator.h"

#include <QProcess>
#include <QTest>

class TestSelfCheck : public QObject {
    Q_OBJECT
private slots:
    void run_data();
    void run();
};

void TestSelfCheck::run_data() {
    QTest::addColumn<QStringList>("standin"); // its arguments; empty: none runs
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("the stand-in with its tree")
        << QStringList{"--position", "100,50"} << 0
        << QStringList{"ok   accessibility: granted",
                       "ok   window: \u201ciPhone 15 Pro \u2013 iOS 17.2\u201d",
                       "ok   elements: the window's own tree",
                       "ok   hit at the centre: ",
                       "ok   screenshot: 900 \u00d7 1800 pixels",
                       "ok   panel: type ",
                       "takes the keyboard when clicked: no",
                       "every check passed"};
    QTest::newRow("without a tree: AXe, on a canvas")
        << QStringList{"--no-accessibility"} << 0
        << QStringList{"without a tree", "ok   elements: the simulator's own tree (AXe)", "(on a canvas)",
                       "every check passed"};
    QTest::newRow("no simulator") << QStringList{} << 1
                                  << QStringList{
                                         "FAIL windows: no Simulator or Device Hub device window on screen",
                                         "1 check(s) failed"};
}

void TestSelfCheck::run() {
    QFETCH(QStringList, standin);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);

    StandinSimulator simulator;
    if (!standin.isEmpty())
        QVERIFY(simulator.start(standin));
    QProcess check;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       StandinSimulator::bin() + QLatin1Char(':') + environment.value("PATH"));
    environment.insert(QStringLiteral("STANDIN_SIMULATOR_REGISTRY"), simulator.registry());
    // On the test desktop, as a person's app runs, whatever platform this test itself runs on.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    check.setProcessEnvironment(environment);
    check.start(QStringLiteral(TALLYRIG_TEST_BUNDLE "/Contents/MacOS/Tallyrig"),
                {QStringLiteral("--self-check")});
    QVERIFY(check.waitForFinished(60000));
    const QString printed = QString::fromUtf8(check.readAllStandardOutput());
    QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == exitCode, qPrintable(printed));
    for (const QString& line : lines)
        QVERIFY2(printed.contains(line), qPrintable(line + QStringLiteral("\n---\n") + printed));
}

QTEST_GUILESS_MAIN(TestSelfCheck)
#include "tst_selfcheck.moc"
