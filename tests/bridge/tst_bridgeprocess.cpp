// The bridge lifecycle against fake runtimes that misbehave on purpose, and ports held by test
// servers: set-up, adoption, start-up, failures, stopping, overlapping openings.
#include "BridgeTestSupport.h"
#include "bridge/ProjectConfiguration.h"
#include "foundation/Within.h"
#include "support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <qcoro/qcorotask.h>

using namespace BridgeTest;
using State = BridgeProcess::State;
using Port = std::optional<BridgePort>;

namespace {

const QString cli = QStringLiteral("/fake/bridge/bin/tallyrig.mjs");

// A repository of its own, optionally configured with a port.
struct Repo {
    QTemporaryDir dir;
    Repo() { QDir(dir.path()).mkdir(".git"); }
    explicit Repo(qint64 port) : Repo() { writeConfig(path(), port); }
    QString path() const { return dir.path(); }
    QString name() const { return QFileInfo(path()).fileName(); }
};

struct Launch {
    QString arguments, folder, app, path;
    qint64 pid = 0;
};

// What the fake runtime recorded, one entry per command it ran.
QList<Launch> launches(const QString& log) {
    QList<Launch> result;
    for (const QString& line : QString::fromUtf8(readFile(log)).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('|');
        if (fields.size() == 5)
            result.append({fields[0], fields[1], fields[2], fields[3], fields[4].toLongLong()});
    }
    return result;
}

QString startingLine(const Repo& repo) {
    return "Starting the bridge for " + repo.name() + QStringLiteral("\u2026");
}

// Fifty characters.
QByteArray longLine(int number) {
    return QByteArray::number(number).rightJustified(4, '0') + " " + QByteArray(45, '.');
}

QString bridgeRecord(const QString& project) {
    return QStringLiteral(R"({"service":"tallyrig","project":"%1"})").arg(project);
}

// Frees the list that woke it, as soon as it is woken.
QCoro::Task<> wakeThenFree(std::unique_ptr<Within::Waiters>& waiters, QObject* owner, bool& woken) {
    woken = co_await waiters->wait(owner);
    waiters.reset();
}

} // namespace

class TestBridgeProcess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void openWithoutRuntime();
    void setUpRunsBeforeThePortIsRead();
    void setUpFailure_data();
    void setUpFailure();
    void portHeldByAnother_data();
    void portHeldByAnother();
    void portOutsideTheRangeIsRefused_data();
    void portOutsideTheRangeIsRefused();
    void adoptsBridgeServingTheFolder_data();
    void adoptsBridgeServingTheFolder();
    void runningOnceAnyBridgeAnswers();
    void bridgeEndsByItself_data();
    void bridgeEndsByItself();
    void outputKeepsWholeCharacters();
    void bridgeThatNeverAnswers();
    void stopDuringTheWaitingLoop();
    void bridgeThatIgnoresTerminateIsKilled_data();
    void bridgeThatIgnoresTerminateIsKilled();
    void launchFailure();
    void overlappingOpensLaunchOnce();
    void laterOpenStopsTheEarlierBridge();
    void openWaitsForAStopInProgress();
    void laterOpenEndsTheEarlierSetUp_data();
    void laterOpenEndsTheEarlierSetUp();
    void destroyingEndsEveryOpening();
    void wakingResumesAfterTheEmission();
    void repeatedFailureAnnouncesNothing();

private:
    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_scratch;
    QString m_log;
    std::unique_ptr<BridgeProcess> make(BridgeProcess::Timings timings = fast()) {
        return std::make_unique<BridgeProcess>(*m_settings->settings, childProcesses(), fakeRuntime(),
                                               timings);
    }
};

void TestBridgeProcess::initTestCase() {
    qputenv("SHELL", QFile::encodeName(fixture("shell-plain.sh")));
}

void TestBridgeProcess::init() {
    m_settings = std::make_unique<TempSettings>();
    m_scratch = std::make_unique<QTemporaryDir>();
    m_log = m_scratch->filePath("fake.log");
    qputenv("TALLYRIG_FAKE_LOG", QFile::encodeName(m_log));
    for (const char* name :
         {"TALLYRIG_FAKE_INIT", "TALLYRIG_FAKE_START", "TALLYRIG_FAKE_PORT", "TALLYRIG_FAKE_TEXT"})
        qunsetenv(name);
}

void TestBridgeProcess::cleanup() {
    // Nothing a test started may still run.
    for (const Launch& launch : launches(m_log))
        QTRY_VERIFY2_WITH_TIMEOUT(!alive(launch.pid), qPrintable(launch.arguments + " left running"), 5000);
}

void TestBridgeProcess::openWithoutRuntime() {
    const QStringList stored{"/r/one", "/r/two"};
    m_settings->settings->setRecentProjects(stored);
    BridgeProcess bridge(*m_settings->settings, childProcesses(), std::nullopt, fast());
    QSignalSpy states(&bridge, &BridgeProcess::stateChanged);
    Repo repo(TestHttpServer::freePort());

    QCOMPARE(QCoro::waitFor(bridge.open(repo.path())), std::nullopt);
    QCOMPARE(bridge.state(),
             State::failed(QStringLiteral(
                 "This build of Tallyrig doesn\u2019t include the bridge. Start it with tallyrig start.")));
    QCOMPARE(states.count(), 1);
    QCOMPARE(bridge.project(), std::nullopt);
    QCOMPARE(bridge.recents(), stored);
    QCOMPARE(Settings(m_settings->path()).recentProjects(), stored);
}

void TestBridgeProcess::setUpRunsBeforeThePortIsRead() {
    Repo repo;
    const QString ios = repo.path() + "/ios";
    QVERIFY(QDir().mkpath(ios));
    // The set-up writes a port; a bridge for the repository already answers there, so it is adopted.
    TestHttpServer server([&](const QByteArray&, const QString&) {
        return TestHttpServer::json(bridgeRecord(repo.path()).toUtf8());
    });
    QVERIFY(server.listen());
    qputenv("TALLYRIG_FAKE_PORT", QByteArray::number(server.port()));
    auto bridge = make();
    QList<State> history;
    connect(bridge.get(), &BridgeProcess::stateChanged, this, [&] { history.append(bridge->state()); });

    QCOMPARE(QCoro::waitFor(bridge->open(ios)), Port(server.port()));
    QCOMPARE(history,
             (QList<State>{State::starting(QStringLiteral("Setting up ios\u2026")), State::external()}));
    QVERIFY(QFileInfo::exists(ios + "/tallyrig.config.json"));

    const QList<Launch> runs = launches(m_log);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].arguments, cli + " init --yes");
    QCOMPARE(runs[0].folder, QFileInfo(ios).canonicalFilePath());
    QCOMPARE(runs[0].app, "1");
    QCOMPARE(runs[0].path, bridge->launchEnvironment().cachedPath().value());
    QVERIFY(runs[0].path.startsWith("/usr/bin:/bin:/shell/bin:"));
}

void TestBridgeProcess::setUpFailure_data() {
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("six lines, one empty, status 1") << QByteArray("six-lines") << "b\nc\nd\ne";
    // Never a failure without words.
    QTest::newRow("no output") << QByteArray("exit-3") << "The set-up (tallyrig init) failed (exit 3).";
    QTest::newRow("killed by a signal")
        << QByteArray("killed") << "The set-up (tallyrig init) failed (exit 9).";
}

void TestBridgeProcess::setUpFailure() {
    QFETCH(QByteArray, mode);
    QFETCH(QString, message);
    qputenv("TALLYRIG_FAKE_INIT", mode);
    Repo repo;
    auto bridge = make();
    QCOMPARE(QCoro::waitFor(bridge->open(repo.path())), std::nullopt);
    QCOMPARE(bridge->state(), State::failed(message));
    QCOMPARE(bridge->project(), std::optional<QString>(repo.path()));
    QCOMPARE(bridge->recents().value(0), repo.path());
    QCOMPARE(launches(m_log).size(), 1); // no start after a failed set-up
}

// "%parent%" stands for the real folder that holds the opened folder "app".
void TestBridgeProcess::portHeldByAnother_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("message");
    const QString foreign =
        " is used by another program. Change port in tallyrig.config.json, then open the project again.";
    const QString other =
        " is used by the Tallyrig bridge for %1. Stop it (tallyrig stop in that folder) or change port "
        "in tallyrig.config.json.";
    QTest::newRow("web server") << "<!doctype html><p>Hello</p>" << QByteArray("text/html") << foreign;
    QTest::newRow("JSON server") << R"({"status":"ok"})" << QByteArray("application/json") << foreign;
    QTest::newRow("bridge for another folder")
        << bridgeRecord("/Users/me/other") << QByteArray("application/json") << other.arg("/Users/me/other");
    QTest::newRow("bridge for a folder inside the opened one")
        << bridgeRecord("%parent%/app/ios") << QByteArray("application/json")
        << other.arg("%parent%/app/ios");
    QTest::newRow("bridge whose folder is a prefix without a slash")
        << bridgeRecord("%parent%/ap") << QByteArray("application/json") << other.arg("%parent%/ap");
    QTest::newRow("bridge without project")
        << R"({"service":"tallyrig"})" << QByteArray("application/json") << other.arg("another project");
}

void TestBridgeProcess::portHeldByAnother() {
    QFETCH(QString, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, message);
    QTemporaryDir parent;
    const QString folder = parent.filePath("app");
    QVERIFY(QDir().mkpath(folder + "/.git"));
    const QString real = QFileInfo(parent.path()).canonicalFilePath();
    const QByteArray answer = QString(body).replace("%parent%", real).toUtf8();
    message.replace("%parent%", real);
    TestHttpServer server([&](const QByteArray&, const QString&) {
        return TestHttpServer::Reply{200, answer, contentType};
    });
    QVERIFY(server.listen());
    writeConfig(folder, server.port());
    auto bridge = make();

    QCOMPARE(QCoro::waitFor(bridge->open(folder)), std::nullopt);
    QCOMPARE(bridge->state(), State::failed("Port " + QString::number(server.port()) + message));
    QCOMPARE(bridge->recents().value(0), folder);
    QCOMPARE(launches(m_log).size(), 0);

    // stop() leaves a failure as it is.
    QCoro::waitFor(bridge->stop());
    QCOMPARE(bridge->state(), State::failed("Port " + QString::number(server.port()) + message));
}

void TestBridgeProcess::portOutsideTheRangeIsRefused_data() {
    QTest::addColumn<qint64>("port");
    QTest::newRow("above 65535") << qint64(70000);
    QTest::newRow("below 1024") << qint64(80);
    QTest::newRow("1023") << qint64(1023);
    QTest::newRow("zero") << qint64(0);
    QTest::newRow("negative") << qint64(-1);
}

void TestBridgeProcess::portOutsideTheRangeIsRefused() {
    // Not "used by another program", and never a bridge started or adopted there.
    QFETCH(qint64, port);
    Repo repo(port);
    const QString ios = repo.path() + "/ios";
    QVERIFY(QDir().mkpath(ios));
    auto bridge = make();
    QCOMPARE(QCoro::waitFor(bridge->open(ios)), std::nullopt);
    QCOMPARE(bridge->state(), State::failed("Port " + QString::number(port) + " in " + repo.path() +
                                            "/tallyrig.config.json is not between 1024 and 65535. Change it "
                                            "there, then open the project again."));
    QCOMPARE(launches(m_log).size(), 0);
}

void TestBridgeProcess::adoptsBridgeServingTheFolder_data() {
    QTest::addColumn<bool>("fromRoot");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("bridge for the folder") << false << false;
    QTest::newRow("bridge for the repository root, subfolder opened") << true << false;
    QTest::newRow("folder opened through a symbolic link") << false << true;
}

void TestBridgeProcess::adoptsBridgeServingTheFolder() {
    QFETCH(bool, fromRoot);
    QFETCH(bool, throughLink);
    Repo repo;
    const QString real = QFileInfo(repo.path()).canonicalFilePath();
    QString opened = fromRoot ? repo.path() + "/ios" : repo.path();
    QVERIFY(QDir().mkpath(opened));
    QTemporaryDir links;
    if (throughLink) {
        opened = links.filePath("linked-app");
        QVERIFY(QFile::link(real, opened));
    }
    TestHttpServer server(
        [&](const QByteArray&, const QString&) { return TestHttpServer::json(bridgeRecord(real).toUtf8()); });
    QVERIFY(server.listen());
    writeConfig(repo.path(), server.port());
    auto bridge = make();

    QCOMPARE(QCoro::waitFor(bridge->open(opened)), Port(server.port()));
    QCOMPARE(bridge->state(), State::external());
    QCOMPARE(bridge->process(), nullptr);
    QCOMPARE(launches(m_log).size(), 0);

    // Letting go of an adopted bridge does not stop it.
    QCoro::waitFor(bridge->stop());
    QCOMPARE(bridge->state(), State::idle());
    const int before = server.requestCount();
    QCOMPARE(QCoro::waitFor(Probe::ask(server.port(), 1500ms, Probe::forOpening)), Probe::bridge(real));
    QCOMPARE(server.requestCount(), before + 1);
}

void TestBridgeProcess::runningOnceAnyBridgeAnswers() {
    Repo repo(TestHttpServer::freePort());
    const quint16 port = quint16(ProjectConfiguration::port(repo.path()).number);
    qputenv("TALLYRIG_FAKE_START", "never");
    // The port starts answering once the bridge is launched: twice as something else (not up yet),
    // then as a bridge for some other folder, which still counts as up.
    TestHttpServer server([&](const QByteArray&, const QString&) {
        return server.requestCount() <= 2 ? TestHttpServer::html("<p>booting</p>")
                                          : TestHttpServer::json(bridgeRecord("/not/this/one").toUtf8());
    });
    auto bridge = make();
    connect(bridge.get(), &BridgeProcess::stateChanged, this, [&] {
        if (bridge->state() == State::starting(startingLine(repo)))
            QVERIFY(server.listen(port));
    });

    QCOMPARE(QCoro::waitFor(bridge->open(repo.path())), Port(port));
    QCOMPARE(bridge->state(), State::running());
    QCOMPARE(server.requestCount(), 3);
    QVERIFY(bridge->process());
    const qint64 pid = bridge->process()->processId();
    QVERIFY(alive(pid));
    QTRY_COMPARE(launches(m_log).size(), 1);
    const QList<Launch> runs = launches(m_log);
    QCOMPARE(runs[0].arguments, cli + " start --plain");
    QCOMPARE(runs[0].folder, QFileInfo(repo.path()).canonicalFilePath());
    QCOMPARE(runs[0].app, "1");

    // Once up, a bridge that dies is a failure with its last words.
    QTRY_VERIFY(bridge->output().contains("starting"));
    ::kill(pid_t(pid), SIGKILL);
    QTRY_COMPARE(bridge->state(), State::failed("starting"));
    QCOMPARE(bridge->process(), nullptr);
}

void TestBridgeProcess::bridgeEndsByItself_data() {
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("a line, then exit") << QByteArray("line-exit") << "Error: cannot listen";
    QTest::newRow("silent exit 3") << QByteArray("exit-3") << "The bridge stopped (exit 3).";
    QTest::newRow("killed, silent") << QByteArray("killed") << "The bridge stopped (exit 9).";
    QTest::newRow("20000 characters, then fails")
        << QByteArray("text-fail")
        << QString::fromLatin1(longLine(397) + "\n" + longLine(398) + "\n" + longLine(399) + "\n" +
                               longLine(400));
}

void TestBridgeProcess::bridgeEndsByItself() {
    QFETCH(QByteArray, mode);
    QFETCH(QString, message);
    qputenv("TALLYRIG_FAKE_START", mode);
    QByteArray text;
    for (int line = 1; line <= 400; ++line)
        text += longLine(line) + "\n\n";
    QVERIFY(text.size() > 20000);
    writeFile(m_scratch->filePath("text"), text);
    qputenv("TALLYRIG_FAKE_TEXT", QFile::encodeName(m_scratch->filePath("text")));
    Repo repo(TestHttpServer::freePort());
    auto bridge = make();
    QList<State> history;
    connect(bridge.get(), &BridgeProcess::stateChanged, this, [&] { history.append(bridge->state()); });

    QCOMPARE(QCoro::waitFor(bridge->open(repo.path())), std::nullopt);
    QCOMPARE(history, (QList<State>{State::starting(startingLine(repo)), State::failed(message)}));
    QCOMPARE(bridge->process(), nullptr);
    if (mode == "text-fail") {
        QCOMPARE(bridge->output().size(), OutputBuffer::limit);
        QVERIFY(QString::fromUtf8(text).endsWith(bridge->output()));
    }
}

void TestBridgeProcess::outputKeepsWholeCharacters() {
    // Ten thousand characters of two and four code units each, after some plain ones: the last
    // 8000 characters are kept, and none is cut in two however the pipe splits the bytes.
    const QString pair = QStringLiteral("e\u0301") + QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
    QString text = QString(100, 'x');
    for (int i = 0; i < 5000; ++i)
        text += pair;
    writeFile(m_scratch->filePath("text"), text.toUtf8());
    qputenv("TALLYRIG_FAKE_TEXT", QFile::encodeName(m_scratch->filePath("text")));
    qputenv("TALLYRIG_FAKE_START", "text-fail");
    Repo repo(TestHttpServer::freePort());
    auto bridge = make();

    QCoro::waitFor(bridge->open(repo.path()));
    QCOMPARE(bridge->output(), pair.repeated(4000));
    QCOMPARE(bridge->state(), State::failed(pair.repeated(4000)));
}

void TestBridgeProcess::bridgeThatNeverAnswers() {
    Repo repo(TestHttpServer::freePort());
    qputenv("TALLYRIG_FAKE_START", "never");
    // Long enough for the fake to have spoken even on a busy machine.
    auto timings = fast();
    timings.startAttempts = 75;
    auto bridge = make(timings);
    QList<State> history;
    connect(bridge.get(), &BridgeProcess::stateChanged, this, [&] { history.append(bridge->state()); });

    QCOMPARE(QCoro::waitFor(bridge->open(repo.path())), std::nullopt);
    const QString message = QStringLiteral("The bridge didn\u2019t answer on port ") +
                            ProjectConfiguration::port(repo.path()).text() + ".\nstarting";
    QCOMPARE(history, (QList<State>{State::starting(startingLine(repo)), State::failed(message)}));
    QCOMPARE(bridge->process(), nullptr);
    const QList<Launch> runs = launches(m_log);
    QCOMPARE(runs.size(), 1);
    QVERIFY(!alive(runs[0].pid)); // stopped before open returned
}

void TestBridgeProcess::stopDuringTheWaitingLoop() {
    Repo repo(TestHttpServer::freePort());
    qputenv("TALLYRIG_FAKE_START", "never");
    auto timings = fast();
    timings.startAttempts = 100000;
    auto bridge = make(timings);
    auto opening = bridge->open(repo.path());
    QTRY_VERIFY(bridge->process() && bridge->output().contains("starting"));
    const qint64 pid = bridge->process()->processId();

    QCoro::waitFor(bridge->stop());
    QCOMPARE(bridge->state(), State::idle());
    QVERIFY(!alive(pid));
    QSignalSpy states(bridge.get(), &BridgeProcess::stateChanged);
    QCOMPARE(QCoro::waitFor(opening), std::nullopt);
    QCOMPARE(states.count(), 0);
}

void TestBridgeProcess::bridgeThatIgnoresTerminateIsKilled_data() {
    QTest::addColumn<bool>("quitting");
    QTest::newRow("stop, after the stop polls") << false;
    QTest::newRow("stopForQuit, after the quit wait") << true;
}

void TestBridgeProcess::bridgeThatIgnoresTerminateIsKilled() {
    QFETCH(bool, quitting);
    Repo repo(TestHttpServer::freePort());
    qputenv("TALLYRIG_FAKE_START", "stubborn");
    auto timings = fast();
    timings.startAttempts = 100000;
    auto bridge = make(timings);
    auto opening = bridge->open(repo.path());
    QTRY_VERIFY(bridge->process() && bridge->output().contains("ignoring"));
    const qint64 pid = bridge->process()->processId();

    QElapsedTimer clock;
    clock.start();
    if (quitting) {
        bridge->stopForQuit();
        QVERIFY(clock.elapsed() >= 0.95 * timings.quitWait.count());
        QCOMPARE(bridge->state(), State::starting(startingLine(repo)));
    } else {
        QCoro::waitFor(bridge->stop());
        QVERIFY(clock.elapsed() >= 0.95 * timings.stopPolls * timings.stopInterval.count());
        QCOMPARE(bridge->state(), State::idle());
    }
    QVERIFY(!alive(pid));
    QCOMPARE(QCoro::waitFor(opening), std::nullopt);
}

void TestBridgeProcess::launchFailure() {
    // The opened folder is gone, but a configuration above it still names a port.
    Repo repo(TestHttpServer::freePort());
    const QString gone = repo.path() + "/deleted";
    auto bridge = make();
    QCOMPARE(QCoro::waitFor(bridge->open(gone)), std::nullopt);
    QCOMPARE(bridge->state().kind, State::Kind::Failed);
    QVERIFY2(bridge->state().text.contains("No such file or directory"), qPrintable(bridge->state().text));
    QCOMPARE(bridge->process(), nullptr);
}

void TestBridgeProcess::overlappingOpensLaunchOnce() {
    Repo first(TestHttpServer::freePort()), second(TestHttpServer::freePort()),
        third(TestHttpServer::freePort());
    qputenv("TALLYRIG_FAKE_START", "never");
    auto timings = fast();
    timings.startAttempts = 100000;
    auto bridge = make(timings);

    auto a = bridge->open(first.path());
    auto b = bridge->open(second.path());
    auto c = bridge->open(third.path());
    QCOMPARE(QCoro::waitFor(a), std::nullopt);
    QCOMPARE(QCoro::waitFor(b), std::nullopt);
    QTRY_COMPARE(bridge->state(), State::starting(startingLine(third)));
    QTRY_VERIFY(bridge->process() && bridge->output().contains("starting"));
    QCOMPARE(bridge->project(), std::optional<QString>(third.path()));
    const QList<Launch> runs = launches(m_log);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].folder, QFileInfo(third.path()).canonicalFilePath());

    QCoro::waitFor(bridge->stop());
    QCOMPARE(QCoro::waitFor(c), std::nullopt);
    QCOMPARE(bridge->state(), State::idle());
}

void TestBridgeProcess::laterOpenStopsTheEarlierBridge() {
    Repo first(TestHttpServer::freePort()), second(TestHttpServer::freePort());
    qputenv("TALLYRIG_FAKE_START", "stubborn");
    auto timings = fast();
    timings.startAttempts = 100000;
    auto bridge = make(timings);

    auto a = bridge->open(first.path());
    QTRY_VERIFY(bridge->process() && bridge->output().contains("ignoring"));
    const qint64 firstPid = bridge->process()->processId();
    auto b = bridge->open(second.path());
    QCOMPARE(QCoro::waitFor(a), std::nullopt);
    QTRY_COMPARE(launches(m_log).size(), 2);
    // The second bridge was launched only after the first had ended.
    QVERIFY(!alive(firstPid));
    QCOMPARE(launches(m_log)[1].folder, QFileInfo(second.path()).canonicalFilePath());
    QTRY_VERIFY(bridge->process() && bridge->process()->processId() != firstPid);

    bridge->stopForQuit();
    QCOMPARE(QCoro::waitFor(b), std::nullopt);
}

void TestBridgeProcess::openWaitsForAStopInProgress() {
    // Reopening while the old bridge is still being stopped must not find it on the port, nor
    // have the stop's "idle" overwrite the new state afterwards.
    Repo repo(TestHttpServer::freePort());
    qputenv("TALLYRIG_FAKE_START", "stubborn");
    auto timings = fast();
    timings.startAttempts = 100000;
    auto bridge = make(timings);
    auto a = bridge->open(repo.path());
    QTRY_VERIFY(bridge->process() && bridge->output().contains("ignoring"));
    const qint64 firstPid = bridge->process()->processId();

    auto stopping = bridge->stop();
    QVERIFY(alive(firstPid));
    auto b = bridge->open(repo.path());
    QCoro::waitFor(stopping);
    QTRY_COMPARE(launches(m_log).size(), 2);
    QVERIFY(!alive(firstPid));
    QTRY_VERIFY(bridge->process() && bridge->output().contains("ignoring"));
    QCOMPARE(bridge->state(), State::starting(startingLine(repo)));

    bridge->stopForQuit();
    QCOMPARE(QCoro::waitFor(a), std::nullopt);
    QCOMPARE(QCoro::waitFor(b), std::nullopt);
}

void TestBridgeProcess::laterOpenEndsTheEarlierSetUp_data() {
    QTest::addColumn<QByteArray>("mode");
    QTest::newRow("set-up ends on SIGTERM") << QByteArray("never");
    QTest::newRow("set-up ignores SIGTERM") << QByteArray("stubborn");
}

void TestBridgeProcess::laterOpenEndsTheEarlierSetUp() {
    QFETCH(QByteArray, mode);
    Repo first;
    TestHttpServer server(
        [](const QByteArray&, const QString&) { return TestHttpServer::html("<p>hi</p>"); });
    QVERIFY(server.listen());
    Repo second(server.port());
    qputenv("TALLYRIG_FAKE_INIT", mode);
    auto bridge = make();
    QList<State> history;
    connect(bridge.get(), &BridgeProcess::stateChanged, this, [&] { history.append(bridge->state()); });

    auto a = bridge->open(first.path());
    QTRY_COMPARE(launches(m_log).size(), 1);
    const qint64 setUpPid = launches(m_log)[0].pid;
    auto b = bridge->open(second.path());
    // The later opening proceeds even when the set-up it supersedes holds on.
    QTRY_VERIFY_WITH_TIMEOUT(b.isReady(), 10000);
    QCOMPARE(QCoro::waitFor(a), std::nullopt);
    QCOMPARE(QCoro::waitFor(b), std::nullopt);
    QVERIFY(!alive(setUpPid));
    // The abandoned set-up leaves no failure of its own behind.
    const State foreign =
        State::failed("Port " + QString::number(server.port()) +
                      " is used by another program. Change port in tallyrig.config.json, then open "
                      "the project again.");
    QCOMPARE(history, (QList<State>{State::starting("Setting up " + first.name() + QStringLiteral("\u2026")),
                                    foreign}));
    QCOMPARE(bridge->project(), std::optional<QString>(second.path()));
}

void TestBridgeProcess::destroyingEndsEveryOpening() {
    // One opening waits for its bridge to answer, the next for its turn; neither may hang once the
    // object is gone.
    Repo first(TestHttpServer::freePort()), second(TestHttpServer::freePort());
    qputenv("TALLYRIG_FAKE_START", "never");
    auto timings = fast();
    timings.startAttempts = 100000;
    auto bridge = make(timings);
    auto running = bridge->open(first.path());
    QTRY_VERIFY(bridge->process() && bridge->output().contains("starting"));
    auto waiting = bridge->open(second.path());
    QVERIFY(!waiting.isReady());

    bridge.reset();
    // The turn's wait ends inside the destruction; the bridge's, once its child has gone.
    QVERIFY(waiting.isReady());
    QTRY_VERIFY(running.isReady());
    QCOMPARE(QCoro::waitFor(running), std::nullopt);
    QCOMPARE(QCoro::waitFor(waiting), std::nullopt);
}

void TestBridgeProcess::wakingResumesAfterTheEmission() {
    QObject owner;
    auto waiters = std::make_unique<Within::Waiters>();
    bool woken = false;
    auto task = wakeThenFree(waiters, &owner, woken);
    waiters->wakeAll();
    QVERIFY(!woken);
    QTRY_VERIFY(woken);
    QVERIFY(!waiters);
}

void TestBridgeProcess::repeatedFailureAnnouncesNothing() {
    TestHttpServer server(
        [](const QByteArray&, const QString&) { return TestHttpServer::html("<p>hi</p>"); });
    QVERIFY(server.listen());
    Repo repo(server.port());
    auto bridge = make();
    QSignalSpy states(bridge.get(), &BridgeProcess::stateChanged);
    QSignalSpy projects(bridge.get(), &BridgeProcess::projectChanged);
    QSignalSpy recents(bridge.get(), &BridgeProcess::recentsChanged);

    QCoro::waitFor(bridge->open(repo.path()));
    QCOMPARE(states.count(), 1);
    QCOMPARE(projects.count(), 1);
    QCOMPARE(recents.count(), 1);
    QCoro::waitFor(bridge->open(repo.path()));
    QCOMPARE(states.count(), 1);
    QCOMPARE(projects.count(), 1);
    QCOMPARE(recents.count(), 1);
}

QTEST_GUILESS_MAIN(TestBridgeProcess)
#include "tst_bridgeprocess.moc"
