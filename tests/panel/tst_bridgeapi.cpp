#include "foundation/LoopbackNetwork.h"
#include "foundation/PanelError.h"
#include "panel/BridgeApi.h"
#include "support/Settle.h"
#include "support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>
#include <QTimer>

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

enum class Outcome { Value, Refusal, Failure };

auto callOnce(quint16 port, const QString& path, std::optional<ReportBody> body = std::nullopt,
              std::chrono::milliseconds timeout = 5s) {
    return settle(BridgeApi::call(port, path, std::move(body), timeout));
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class BridgeApiTest : public QObject {
    Q_OBJECT

private slots:
    // The order of the answer checks: transport, JSON, status, "error" text.
    void answers_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("text"); // the value's dump, or the refusal's message

        QTest::newRow("201 with JSON") << 201 << QByteArray("application/json") << QByteArray(R"({"id":"a"})")
                                       << Outcome::Value << R"({"id":"a"})";
        QTest::newRow("200 bare text ok")
            << 200 << QByteArray("application/json") << QByteArray(R"("ok")") << Outcome::Value << R"("ok")";
        QTest::newRow("200 bare number")
            << 200 << QByteArray("application/json") << QByteArray("5") << Outcome::Value << "5";
        QTest::newRow("200 null") << 200 << QByteArray("application/json") << QByteArray("null")
                                  << Outcome::Value << "null";
        QTest::newRow("200 empty") << 200 << QByteArray("application/json") << QByteArray()
                                   << Outcome::Failure << "";
        QTest::newRow("200 HTML") << 200 << QByteArray("text/html")
                                  << QByteArray("<html><body>hi</body></html>") << Outcome::Failure << "";
        QTest::newRow("500 HTML") << 500 << QByteArray("text/html") << QByteArray("<h1>oops</h1>")
                                  << Outcome::Failure << "";
        QTest::newRow("200 invalid UTF-8")
            << 200 << QByteArray("application/json") << QByteArray("\"\xff\"") << Outcome::Failure << "";
        QTest::newRow("200 number overflow")
            << 200 << QByteArray("application/json") << QByteArray("[1e400]") << Outcome::Failure
            << "The bridge\u2019s answer holds a number too large to read";
        QTest::newRow("200 nested too deep")
            << 200 << QByteArray("application/json") << QByteArray(100000, '[') + QByteArray(100000, ']')
            << Outcome::Failure << "";
        QTest::newRow("404 error text") << 404 << QByteArray("application/json")
                                        << QByteArray(R"({"error":"No report with id \u201cx\u201d"})")
                                        << Outcome::Refusal << "No report with id \u201cx\u201d";
        QTest::newRow("500 without error")
            << 500 << QByteArray("application/json") << QByteArray(R"({"message":"x"})") << Outcome::Refusal
            << "Bridge error";
        QTest::newRow("500 numeric error")
            << 500 << QByteArray("application/json") << QByteArray(R"({"error":5})") << Outcome::Refusal
            << "Bridge error";
        QTest::newRow("500 bare text") << 500 << QByteArray("application/json") << QByteArray(R"("broken")")
                                       << Outcome::Refusal << "Bridge error";
        QTest::newRow("409 error text") << 409 << QByteArray("application/json")
                                        << QByteArray(R"({"error":"Busy"})") << Outcome::Refusal << "Busy";
    }
    void answers() {
        QFETCH(int, status);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(Outcome, outcome);
        QFETCH(QString, text);

        TestHttpServer server([&](const QByteArray&, const QString&) {
            return TestHttpServer::Reply{status, body, contentType};
        });
        QVERIFY(server.listen());
        const auto settled = callOnce(server.port(), QStringLiteral("/api/settings"));
        switch (outcome) {
        case Outcome::Value:
            QVERIFY(settled.value);
            QCOMPARE(QString::fromStdString(settled.value->dump()), text);
            break;
        case Outcome::Refusal:
            QVERIFY(settled.failedWith<PanelError>());
            QCOMPARE(settled.description(), text);
            break;
        case Outcome::Failure:
            QVERIFY(settled.failedWith<Failure>());
            QVERIFY(!settled.failedWith<PanelError>());
            QVERIFY(!settled.description().isEmpty());
            QVERIFY(settled.description() != QLatin1String("Bridge error"));
            if (!text.isEmpty())
                QCOMPARE(settled.description(), text);
            break;
        }
    }

    // Whatever answers on the bridge's port cannot have a request, or a report, sent on elsewhere.
    void redirectIsRefused_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("withBody");
        QTest::newRow("307 POST") << 307 << true;
        QTest::newRow("308 POST") << 308 << true;
        QTest::newRow("302 GET") << 302 << false;
    }
    void redirectIsRefused() {
        QFETCH(int, status);
        QFETCH(bool, withBody);
        TestHttpServer elsewhere(
            [](const QByteArray&, const QString&) { return TestHttpServer::json("{}"); });
        QVERIFY(elsewhere.listen());
        const QByteArray steal = "http://127.0.0.1:" + QByteArray::number(elsewhere.port()) + "/steal";
        TestHttpServer bridge(
            [&](const QByteArray&, const QString&) { return TestHttpServer::redirect(steal, status); });
        QVERIFY(bridge.listen());
        const auto settled = callOnce(bridge.port(), QStringLiteral("/report"),
                                      withBody ? std::optional(ReportBody()) : std::nullopt);
        QCOMPARE(elsewhere.requestCount(), 0);
        QVERIFY(settled.failedWith<PanelError>());
        QCOMPARE(settled.description(),
                 QStringLiteral("The bridge redirected the request, so it wasn\u2019t sent on"));
    }

    void requestShape_data() {
        QTest::addColumn<bool>("withBody");
        QTest::addColumn<QString>("path");
        QTest::newRow("POST") << true << "/api/reports/ab-12/commit";
        QTest::newRow("GET") << false << "/status?id=ab-12";
    }
    void requestShape() {
        QFETCH(bool, withBody);
        QFETCH(QString, path);
        TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::json("{}"); });
        QVERIFY(server.listen());
        std::optional<ReportBody> body;
        if (withBody) {
            body = ReportBody();
            body->object["nested"] = {{"a", 1}, {"b", "x/y"}};
        }
        QVERIFY(callOnce(server.port(), path, body).value);
        QCOMPARE(server.requests().size(), 1);
        const TestHttpServer::Request request = server.requests().first();
        QCOMPARE(request.path, path);
        QCOMPARE(request.header("host"),
                 std::optional<QByteArray>(QByteArray("127.0.0.1:") + QByteArray::number(server.port())));
        if (withBody) {
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.header("content-type"), std::optional<QByteArray>("application/json"));
            QCOMPARE(request.body, QByteArray(R"({"nested":{"a":1,"b":"x/y"}})"));
        } else {
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.header("content-type"), std::nullopt);
            QVERIFY(request.body.isEmpty());
        }
        QCOMPARE(request.header("cookie"), std::nullopt);
    }

    // The empty object goes as "{}", not as nothing.
    void emptyObjectBody() {
        TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::json("{}"); });
        QVERIFY(server.listen());
        QVERIFY(callOnce(server.port(), QStringLiteral("/x"), ReportBody()).value);
        QCOMPARE(server.requests().first().body, QByteArray("{}"));
        QCOMPARE(server.requests().first().method, QByteArray("POST"));
    }

    void ports_data() {
        QTest::addColumn<qint64>("port");
        QTest::addColumn<bool>("valid");
        QTest::newRow("usual") << qint64(4747) << true;
        QTest::newRow("zero") << qint64(0) << true;
        QTest::newRow("highest") << qint64(65535) << true;
        QTest::newRow("above range") << qint64(70000) << false;
        QTest::newRow("negative") << qint64(-1) << false;
    }
    void ports() {
        QFETCH(qint64, port);
        QFETCH(bool, valid);
        QCOMPARE(BridgeApi::address(port, QStringLiteral("/status?id=a b")).has_value(), valid);
        if (!valid) {
            const auto refused =
                settle(BridgeApi::call(port, QStringLiteral("/api/settings"), std::nullopt, 5s));
            QVERIFY(refused.failedWith<PanelError>());
            QCOMPARE(refused.description(), QStringLiteral("Invalid bridge port"));
        }
    }

    void nobodyListening() {
        const auto settled = callOnce(TestHttpServer::freePort(), QStringLiteral("/api/settings"));
        QVERIFY(settled.failedWith<Failure>());
        QVERIFY(!settled.failedWith<PanelError>());
        QVERIFY(!settled.description().isEmpty());
        QVERIFY(settled.description() != QLatin1String("The request timed out."));
    }

    void answerNeverComes() {
        TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::silent(); });
        QVERIFY(server.listen());
        QElapsedTimer clock;
        clock.start();
        auto call = BridgeApi::call(server.port(), QStringLiteral("/api/settings"), std::nullopt, 200ms);
        // The call ends inside the reply's finished(), emitted from Qt's abort(): the reply must
        // live on through the emission, to every receiver.
        bool heard = false;
        for (QNetworkReply* reply : loopbackNetwork().findChildren<QNetworkReply*>())
            connect(reply, &QNetworkReply::finished, this, [&heard] { heard = true; });
        const auto settled = settle(std::move(call));
        QVERIFY(settled.failedWith<Failure>());
        QVERIFY(!settled.failedWith<PanelError>());
        QCOMPARE(settled.description(), QStringLiteral("The request timed out."));
        QVERIFY(clock.elapsed() >= 150);
        QVERIFY(heard);
    }

    void ownerGoesWhileWaiting() {
        TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::silent(); });
        QVERIFY(server.listen());
        auto* owner = new QObject;
        QTimer::singleShot(100ms, owner, [owner] { delete owner; });
        QElapsedTimer clock;
        clock.start();
        const auto settled =
            settle(BridgeApi::call(server.port(), QStringLiteral("/api/settings"), std::nullopt, 30s, owner));
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(settled.failedWith<Failure>());
        QCOMPARE(settled.description(), QStringLiteral("The request was abandoned."));
    }
};

QTEST_GUILESS_MAIN(BridgeApiTest)
#include "tst_bridgeapi.moc"
