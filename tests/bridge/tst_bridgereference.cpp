// The happy path with the real reference bridge: set-up, start, answer, stop; and adoption of a
// bridge started outside the app.
#include "BridgeTestSupport.h"
#include "bridge/ProjectPaths.h"
#include "support/ReferenceBridge.h"
#include "support/TestHttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <qcoro/qcorotask.h>

using namespace BridgeTest;
using State = BridgeProcess::State;

namespace {

// Generous: a cold Node.js start on a busy machine can take seconds.
BridgeProcess::Timings referenceTimings() {
    BridgeProcess::Timings timings = fast();
    timings.probeTimeout = 1500ms;
    timings.startAttempts = 300;
    timings.startInterval = 50ms;
    timings.stopPolls = 100;
    timings.stopInterval = 50ms;
    timings.quitWait = 5000ms;
    return timings;
}

} // namespace

class TestBridgeReference : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void setUpStartStop();
    void adoptedBridgeKeepsRunning();

private:
    TempSettings m_settings;
    BridgeRuntime m_runtime;
};

void TestBridgeReference::initTestCase() {
    if (!QFileInfo::exists(TALLYRIG_TEST_BRIDGE_CLI))
        QSKIP("the reference bridge is not in this tree");
    qputenv("SHELL", QFile::encodeName(fixture("shell-plain.sh")));
    qputenv("TALLYRIG_TEST_REAL_NODE", TALLYRIG_TEST_NODE);
    // The real runtime, its set-up told to write a free port rather than the default.
    m_runtime = {fixture("node-init-port.sh"), TALLYRIG_TEST_BRIDGE_CLI};
}

void TestBridgeReference::setUpStartStop() {
    QTemporaryDir repo;
    QVERIFY(QDir(repo.path()).mkdir(".git"));
    const quint16 port = TestHttpServer::freePort();
    qputenv("TALLYRIG_TEST_INIT_PORT", QByteArray::number(port));
    BridgeProcess bridge(*m_settings.settings, childProcesses(), m_runtime, referenceTimings());
    QList<State> history;
    connect(&bridge, &BridgeProcess::stateChanged, this, [&] { history.append(bridge.state()); });

    const auto opened = QCoro::waitFor(bridge.open(repo.path()));
    QVERIFY2(opened == port, qPrintable(bridge.state().text + "\n" + bridge.output()));
    const QString name = QFileInfo(repo.path()).fileName();
    QCOMPARE(history,
             (QList<State>{State::starting(QStringLiteral("Setting up %1\u2026").arg(name)),
                           State::starting(QStringLiteral("Starting the bridge for %1\u2026").arg(name)),
                           State::running()}));
    const QJsonObject config =
        QJsonDocument::fromJson(readFile(repo.filePath("tallyrig.config.json"))).object();
    QCOMPARE(config.value("port").toInt(), int(port));

    const Probe answer = QCoro::waitFor(Probe::ask(port, 1500ms, Probe::forOpening));
    QCOMPARE(answer.kind, Probe::Kind::Bridge);
    QVERIFY(ProjectPaths::isAtOrInside(repo.path(), answer.project));
    const qint64 pid = bridge.process()->processId();

    QCoro::waitFor(bridge.stop());
    QCOMPARE(bridge.state(), State::idle());
    QVERIFY(!alive(pid));
    QCOMPARE(QCoro::waitFor(Probe::ask(port, 1500ms, Probe::forOpening)), Probe::free());
}

void TestBridgeReference::adoptedBridgeKeepsRunning() {
    ReferenceBridge outside;
    QVERIFY2(outside.start(), qPrintable(outside.log()));
    const QString ios = outside.folder() + "/ios";
    QVERIFY(QDir().mkpath(ios));
    BridgeProcess bridge(*m_settings.settings, childProcesses(), m_runtime, referenceTimings());

    QCOMPARE(QCoro::waitFor(bridge.open(ios)), std::optional<BridgePort>(outside.port()));
    QCOMPARE(bridge.state(), State::external());
    QCOMPARE(bridge.process(), nullptr);

    QCoro::waitFor(bridge.stop());
    QCOMPARE(bridge.state(), State::idle());
    bridge.stopForQuit();
    QCOMPARE(QCoro::waitFor(Probe::ask(outside.port(), 1500ms, Probe::forOpening)).kind, Probe::Kind::Bridge);
}

QTEST_GUILESS_MAIN(TestBridgeReference)
#include "tst_bridgereference.moc"
