// Who answers on a port: nothing, something else, or a bridge (and for which folder).
#include "BridgeTestSupport.h"
#include "support/TestHttpServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <qcoro/qcorotask.h>

Q_DECLARE_METATYPE(TestHttpServer::Reply)

using namespace BridgeTest;

class TestBridgeProbe : public QObject {
    Q_OBJECT
private slots:
    void verdict_data();
    void verdict();
    void nothingListening();
    void unparsableAddressIsForeign_data();
    void unparsableAddressIsForeign();
    void answerThatStallsAfterHeadersIsFree();
};

void TestBridgeProbe::verdict_data() {
    QTest::addColumn<TestHttpServer::Reply>("reply");
    QTest::addColumn<Probe>("expected");
    using S = TestHttpServer;
    QTest::newRow("HTML page") << S::html("<html><body>It works</body></html>") << Probe::foreign();
    QTest::newRow("empty body") << S::json("") << Probe::foreign();
    QTest::newRow("JSON array") << S::json(R"([{"service":"tallyrig"}])") << Probe::foreign();
    QTest::newRow("JSON text") << S::json(R"("tallyrig")") << Probe::foreign();
    QTest::newRow("JSON server, not a bridge")
        << S::json(R"({"service":"grafana","project":"/x"})") << Probe::foreign();
    QTest::newRow("no service") << S::json(R"({"project":"/x"})") << Probe::foreign();
    QTest::newRow("capitalised service") << S::json(R"({"service":"Tallyrig"})") << Probe::foreign();
    QTest::newRow("service of wrong type") << S::json(R"({"service":5})") << Probe::foreign();
    QTest::newRow("project of wrong type")
        << S::json(R"({"service":"tallyrig","project":5})") << Probe::foreign();
    QTest::newRow("bridge, status not examined")
        << S::json(R"({"service":"tallyrig","project":"/Users/me/app"})", 404)
        << Probe::bridge("/Users/me/app");
    QTest::newRow("bridge with extra members")
        << S::json(R"({"version":"1.0","service":"tallyrig","project":"/r/app","pid":42})")
        << Probe::bridge("/r/app");
    QTest::newRow("bridge without project")
        << S::json(R"({"service":"tallyrig"})") << Probe::bridge("another project");
    QTest::newRow("bridge, null project")
        << S::json(R"({"service":"tallyrig","project":null})") << Probe::bridge("another project");
    QTest::newRow("bridge answer sent as a redirect")
        << S::redirect("/api/bootstrap", 307, R"({"service":"tallyrig","project":"/r/app"})")
        << Probe::foreign();
    QTest::newRow("never answers") << S::silent() << Probe::free();
}

void TestBridgeProbe::verdict() {
    QFETCH(TestHttpServer::Reply, reply);
    QFETCH(Probe, expected);
    TestHttpServer server([reply](const QByteArray&, const QString&) { return reply; });
    QVERIFY(server.listen());
    const Probe probe = QCoro::waitFor(Probe::ask(server.port(), 300ms, Probe::forOpening));
    QCOMPARE(probe, expected);
    QCOMPARE(server.paths(), QList<QString>{"/api/bootstrap"});
}

void TestBridgeProbe::nothingListening() {
    QCOMPARE(QCoro::waitFor(Probe::ask(TestHttpServer::freePort(), 1500ms, Probe::forOpening)),
             Probe::free());
}

void TestBridgeProbe::unparsableAddressIsForeign_data() {
    QTest::addColumn<qint64>("port");
    QTest::newRow("negative") << qint64(-1);
    QTest::newRow("beyond 65535") << qint64(70000);
}

void TestBridgeProbe::unparsableAddressIsForeign() {
    QFETCH(qint64, port);
    QCOMPARE(QCoro::waitFor(Probe::ask(port, 300ms, Probe::forOpening)), Probe::foreign());
}

void TestBridgeProbe::answerThatStallsAfterHeadersIsFree() {
    // Headers promise a body that never comes: the request times out, which is no answer at all.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, this, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n{\"serv");
        });
    });
    QCOMPARE(QCoro::waitFor(Probe::ask(server.serverPort(), 300ms, Probe::forOpening)), Probe::free());
}

QTEST_GUILESS_MAIN(TestBridgeProbe)
#include "tst_bridgeprobe.moc"
