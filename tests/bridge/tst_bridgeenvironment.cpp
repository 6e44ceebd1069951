// The launch environment: the login shell's search path, and running a command to completion.
#include "BridgeTestSupport.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <qcoro/qcorotask.h>

#include <unistd.h>

using namespace BridgeTest;

namespace {

QStringList toolFolders() {
    const QString home = QDir::homePath();
    return {"/opt/homebrew/bin",
            "/opt/homebrew/sbin",
            "/usr/local/bin",
            home + "/.local/bin",
            home + "/.npm-global/bin",
            home + "/.bun/bin",
            "/usr/bin",
            "/bin",
            "/usr/sbin",
            "/sbin"};
}

// The tool folders after the given entries, each once, first occurrence kept.
QString expectedPath(const QStringList& loginEntries) {
    QStringList entries = loginEntries + toolFolders();
    entries.removeDuplicates();
    return entries.join(':');
}

// Sets SHELL for the scope of a test.
struct ShellScope {
    QByteArray saved;
    bool wasSet;
    explicit ShellScope(const QString& shell)
        : saved(qgetenv("SHELL")), wasSet(qEnvironmentVariableIsSet("SHELL")) {
        qputenv("SHELL", QFile::encodeName(shell));
    }
    ~ShellScope() {
        if (wasSet)
            qputenv("SHELL", saved);
        else
            qunsetenv("SHELL");
    }
};

LaunchEnvironment::Timings shellTimings(const BridgeProcess::Timings& timings) {
    return {timings.loginShellWatch, timings.loginShellKillGrace};
}

} // namespace

class TestBridgeEnvironment : public QObject {
    Q_OBJECT
private slots:
    void loginPathFromChattyShell();
    void loginPathWithoutUsableShell_data();
    void loginPathWithoutUsableShell();
    void loginShellThatIgnoresTerminateIsKilled();
    void environmentAsksTheShellOncePerInstance();
    void runCollectsStatusAndMergedOutput_data();
    void runCollectsStatusAndMergedOutput();
    void runUsesExactlyTheGivenEnvironmentAndFolder();
    void runOfMissingProgram();
};

void TestBridgeEnvironment::loginPathFromChattyShell() {
    QTemporaryDir dir;
    const QString log = dir.filePath("shell.log");
    qputenv("TALLYRIG_FAKE_SHELL_LOG", QFile::encodeName(log));
    ShellScope shell(fixture("shell-banners.sh"));
    LaunchEnvironment launch(childProcesses(), shellTimings(fast()));

    const QString path = QCoro::waitFor(launch.loginPath());
    qunsetenv("TALLYRIG_FAKE_SHELL_LOG");

    // Only the text between the markers counts; the empty entry is dropped, repeats are not added.
    QCOMPARE(path, expectedPath({"/usr/bin", "/opt/homebrew/bin", "/custom"}));
    QVERIFY(path.startsWith("/usr/bin:/opt/homebrew/bin:/custom:/opt/homebrew/sbin:/usr/local/bin:"));

    const QStringList lines = QString::fromUtf8(readFile(log)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.mid(0, 3),
             (QStringList{"args:2", "arg:-ilc", QStringLiteral("arg:printf '__TR__%s__TR__' \"$PATH\"")}));
    QCOMPARE(QString(lines[2]).mid(4).size(), 31);
#ifdef Q_OS_LINUX
    // A session of its own: the shell leads it, so it can never take the test's terminal.
    const QString pid = lines.value(3).mid(4);
    QCOMPARE(lines.value(4), "sid:" + pid);
    QVERIFY(pid.toLongLong() != qint64(::getsid(0)));
#endif
}

void TestBridgeEnvironment::loginPathWithoutUsableShell_data() {
    QTest::addColumn<QString>("shell");
    QTest::newRow("no marker") << fixture("shell-no-marker.sh");
    QTest::newRow("never exits") << fixture("shell-hangs.sh");
    QTest::newRow("cannot be launched") << QDir::tempPath() + "/no-such-shell";
}

void TestBridgeEnvironment::loginPathWithoutUsableShell() {
    QFETCH(QString, shell);
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("shell.pid");
    const QString helperPidFile = dir.filePath("helper.pid");
    qputenv("TALLYRIG_FAKE_SHELL_PIDFILE", QFile::encodeName(pidFile));
    qputenv("TALLYRIG_FAKE_SHELL_HELPER_PIDFILE", QFile::encodeName(helperPidFile));
    ShellScope scope(shell);
    LaunchEnvironment launch(childProcesses(), shellTimings(fast()));

    QCOMPARE(QCoro::waitFor(launch.loginPath()), expectedPath({}));
    qunsetenv("TALLYRIG_FAKE_SHELL_PIDFILE");
    qunsetenv("TALLYRIG_FAKE_SHELL_HELPER_PIDFILE");
    // The shell, and what it started, are ended with it.
    for (const QString& file : {pidFile, helperPidFile}) {
        const qint64 pid = readFile(file).trimmed().toLongLong();
        if (pid > 0)
            QTRY_VERIFY2(!alive(pid), qPrintable(QFileInfo(file).baseName() + " was left running"));
    }
}

void TestBridgeEnvironment::loginShellThatIgnoresTerminateIsKilled() {
    ShellScope shell(fixture("shell-ignores-term.sh"));
    const auto timings = fast();
    LaunchEnvironment launch(childProcesses(), shellTimings(timings));
    QElapsedTimer clock;
    clock.start();
    // What it printed before it hung still counts.
    QCOMPARE(QCoro::waitFor(launch.loginPath()), expectedPath({"/stubborn/bin", "/usr/bin"}));
    QVERIFY(clock.elapsed() >= 0.95 * (timings.loginShellWatch + timings.loginShellKillGrace).count());
}

void TestBridgeEnvironment::environmentAsksTheShellOncePerInstance() {
    QTemporaryDir dir;
    const QString log = dir.filePath("shell.log");
    qputenv("TALLYRIG_FAKE_SHELL_LOG", QFile::encodeName(log));
    qputenv("TALLYRIG_TEST_KEPT", "kept");
    qputenv("TALLYRIG_APP", "0");
    ShellScope shell(fixture("shell-banners.sh"));
    LaunchEnvironment launch(childProcesses(), shellTimings(fast()));
    QCOMPARE(launch.cachedPath(), std::nullopt);

    const QProcessEnvironment first = QCoro::waitFor(launch.environment());
    const QProcessEnvironment second = QCoro::waitFor(launch.environment());
    qunsetenv("TALLYRIG_FAKE_SHELL_LOG");
    qunsetenv("TALLYRIG_TEST_KEPT");
    qunsetenv("TALLYRIG_APP");

    const QString path = expectedPath({"/usr/bin", "/opt/homebrew/bin", "/custom"});
    QCOMPARE(launch.cachedPath(), std::optional<QString>(path));
    QCOMPARE(first.value("PATH"), path);
    QCOMPARE(first.value("TALLYRIG_APP"), "1");
    QCOMPARE(first.value("TALLYRIG_TEST_KEPT"), "kept");
    QCOMPARE(first.value("HOME"), QProcessEnvironment::systemEnvironment().value("HOME"));
    QCOMPARE(second.value("PATH"), path);
    QCOMPARE(readFile(log).count("args:"), 1);

    // Another instance asks again.
    LaunchEnvironment other(childProcesses(), shellTimings(fast()));
    qputenv("TALLYRIG_FAKE_SHELL_LOG", QFile::encodeName(log));
    QCoro::waitFor(other.environment());
    qunsetenv("TALLYRIG_FAKE_SHELL_LOG");
    QCOMPARE(readFile(log).count("args:"), 2);
}

void TestBridgeEnvironment::runCollectsStatusAndMergedOutput_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("a line and status 3") << "echo 'it broke'; exit 3" << 3 << "it broke\n";
    QTest::newRow("streams interleave in order")
        << "echo one; echo two >&2; echo three" << 0 << "one\ntwo\nthree\n";
    QTest::newRow("ended by a signal") << "echo bye; kill -TERM $$" << int(SIGTERM) << "bye\n";
    QTest::newRow("invalid UTF-8 replaced")
        << "printf 'caf\\303\\251 \\377!'" << 0 << QString::fromUtf8("café \uFFFD!");
    QTest::newRow("input is the null device") << "cat; echo done" << 0 << "done\n";
    QTest::newRow("more than a pipe holds")
        << "head -c 300000 /dev/zero | tr '\\0' x; exit 4" << 4 << QString(300000, 'x');
}

void TestBridgeEnvironment::runCollectsStatusAndMergedOutput() {
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, output);
    const auto result = QCoro::waitFor(
        CommandRunner(childProcesses())
            .run("/bin/sh", {"-c", script}, QDir::tempPath(), QProcessEnvironment::systemEnvironment()));
    QCOMPARE(result.status, status);
    QCOMPARE(result.output, output);
}

void TestBridgeEnvironment::runUsesExactlyTheGivenEnvironmentAndFolder() {
    QTemporaryDir dir;
    QProcessEnvironment environment;
    environment.insert("ONLY", "this");
    const auto result = QCoro::waitFor(
        CommandRunner(childProcesses())
            .run("/bin/sh", {"-c", "echo \"$ONLY ${HOME-no home}\"; pwd -P"}, dir.path(), environment));
    QCOMPARE(result.status, 0);
    QCOMPARE(result.output, "this no home\n" + QFileInfo(dir.path()).canonicalFilePath() + "\n");
}

void TestBridgeEnvironment::runOfMissingProgram() {
    const auto missing = QCoro::waitFor(CommandRunner(childProcesses())
                                            .run(QDir::tempPath() + "/no-such-program", {}, QDir::tempPath(),
                                                 QProcessEnvironment::systemEnvironment()));
    QCOMPARE(missing.status, -1);
    QVERIFY2(missing.output.contains("No such file"), qPrintable(missing.output));

    QTemporaryDir dir;
    const auto noFolder = QCoro::waitFor(CommandRunner(childProcesses())
                                             .run("/bin/sh", {"-c", "exit 0"}, dir.filePath("gone"),
                                                  QProcessEnvironment::systemEnvironment()));
    QCOMPARE(noFolder.status, -1);
    QVERIFY2(!noFolder.output.isEmpty(), "the launch error's text is the output");
}

QTEST_GUILESS_MAIN(TestBridgeEnvironment)
#include "tst_bridgeenvironment.moc"
