// A child the app started (login shell, set-up command, bridge, simulator tool) never outlives the
// app, even when the app is killed outright.
#include "BridgeTestSupport.h"
#include "support/TestHttpServer.h"

#include <QProcess>

using namespace BridgeTest;

class TestBridgeOrphans : public QObject {
    Q_OBJECT
private slots:
    void childEndsWithTheApp_data();
    void childEndsWithTheApp();
};

void TestBridgeOrphans::childEndsWithTheApp_data() {
    QTest::addColumn<QString>("child");
    QTest::newRow("login shell") << "shell";
    QTest::newRow("set-up command") << "init";
    QTest::newRow("bridge") << "start";
    QTest::newRow("simulator tool") << "xcrun";
}

void TestBridgeOrphans::childEndsWithTheApp() {
#ifndef Q_OS_LINUX
    QSKIP("relies on the parent-death signal of Linux");
#endif
    QFETCH(QString, child);
    QTemporaryDir dir;
    const QString repo = dir.filePath("repo");
    QVERIFY(QDir().mkpath(repo + "/.git"));
    if (child == "start")
        writeConfig(repo, TestHttpServer::freePort());
    const QString pidFile = dir.filePath("child.pid");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SHELL", fixture(child == "shell" ? "shell-hangs.sh" : "shell-plain.sh"));
    environment.insert(child == "shell" ? "TALLYRIG_FAKE_SHELL_PIDFILE" : "TALLYRIG_FAKE_PIDFILE", pidFile);
    environment.insert("TALLYRIG_FAKE_INIT", "never");
    environment.insert("TALLYRIG_FAKE_START", "never");
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(TALLYRIG_ORPHAN_HELPER, {repo, dir.filePath("settings.json"), child});
    QVERIFY(app.waitForStarted());

    QTRY_VERIFY_WITH_TIMEOUT(readFile(pidFile).trimmed().toLongLong() > 0, 10000);
    const qint64 pid = readFile(pidFile).trimmed().toLongLong();
    QVERIFY(alive(pid));
    app.kill();
    QVERIFY(app.waitForFinished());
    QTRY_VERIFY2_WITH_TIMEOUT(!alive(pid), qPrintable(child + " outlived the app"), 5000);
}

QTEST_GUILESS_MAIN(TestBridgeOrphans)
#include "tst_bridgeorphans.moc"
