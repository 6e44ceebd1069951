#include "PanelRig.h"
#include "foundation/AppNotifications.h"

#include <QSignalSpy>

using nlohmann::json;
using namespace PanelFixtures;
using namespace std::chrono_literals;

namespace {

const QString settingsPath = QStringLiteral("/api/settings");
const QString listPath = QStringLiteral("/api/reports");

QString statusPath(const QString& id) {
    return QStringLiteral("/status?id=") + id;
}

} // namespace

class PanelTrackingTest : public QObject {
    Q_OBJECT

private slots:
    void hiddenPanelAsksNothing() {
        PanelRig rig;
        const auto pass = settle(rig.model->poll());
        QCOMPARE(pass.value, std::optional<bool>(false));
        QCOMPARE(rig.server.requestCount(), 0);
        QCOMPARE(rig.model->autoDispatch(), std::nullopt);
    }

    // One pass with a followed report in "fixing": what the bridge answers, and what follows.
    void passWithFollowedReport_data() {
        QTest::addColumn<QString>("settings"); // "silent": no answer; else the JSON
        QTest::addColumn<int>("statusCode");
        QTest::addColumn<QString>("statusBody"); // "silent": no answer
        QTest::addColumn<QString>("list");       // "silent": no answer
        QTest::addColumn<bool>("fast");
        QTest::addColumn<bool>("offline");
        QTest::addColumn<QString>("followed"); // "id status", or empty for none
        QTest::addColumn<bool>("discovered");

        const QString ok = R"({"autoDispatch":true,"autoRelaunch":false})";
        const QString reviewB = R"([{"id":"B","status":"review","createdAt":"2024-05-01T10:00:00.000Z"}])";
        QTest::newRow("settings unreachable") << "silent" << 200 << R"({"status":"checking"})"
                                              << "[]" << false << true << "A fixing" << false;
        QTest::newRow("settings refused") << "{\"error\":\"x\"}" << 200 << R"({"status":"checking"})"
                                          << "[]" << false << true << "A fixing" << false;
        QTest::newRow("still working")
            << ok << 200 << R"({"status":"checking"})" << reviewB << true << false << "A checking" << false;
        QTest::newRow("in review") << ok << 200 << R"({"status":"review"})" << reviewB << true << false
                                   << "A review" << false;
        QTest::newRow("committed, another in review")
            << ok << 200 << R"({"status":"committed"})" << reviewB << false << false << "B review" << true;
        QTest::newRow("failed, nothing pending") << ok << 200 << R"({"status":"failed"})"
                                                 << "[]" << false << false << "A failed" << true;
        QTest::newRow("unknown status") << ok << 200 << R"({"status":"paused"})"
                                        << "[]" << false << false << "A paused" << true;
        QTest::newRow("answer without status: A keeps its place")
            << ok << 200 << R"({"id":"A"})" << reviewB << true << false << "A fixing" << true;
        QTest::newRow("status not text") << ok << 200 << R"({"status":4})"
                                         << "[]" << true << false << "A fixing" << true;
        QTest::newRow("bare text answer") << ok << 200 << R"("review")"
                                          << "[]" << true << false << "A fixing" << true;
        QTest::newRow("refused: forgotten") << ok << 404 << R"({"error":"No report"})"
                                            << "[]" << false << false << "" << true;
        QTest::newRow("refused, then adoption")
            << ok << 404 << R"({"error":"No report"})" << reviewB << false << false << "B review" << true;
        QTest::newRow("status read fails in the bridge: offline, A kept")
            << ok << 503 << R"({"error":"Busy"})" << reviewB << false << true << "A fixing" << false;
        QTest::newRow("status read times out")
            << ok << 200 << "silent" << reviewB << false << true << "A fixing" << false;
        QTest::newRow("status answer not JSON")
            << ok << 200 << "<html>" << reviewB << false << true << "A fixing" << false;
        QTest::newRow("list unreachable") << ok << 200 << R"({"status":"committed"})"
                                          << "silent" << false << true << "A committed" << true;
        QTest::newRow("list not an array") << ok << 200 << R"({"status":"committed"})"
                                           << R"({"reports":[]})" << false << false << "A committed" << true;
    }
    void passWithFollowedReport() {
        QFETCH(QString, settings);
        QFETCH(int, statusCode);
        QFETCH(QString, statusBody);
        QFETCH(QString, list);
        QFETCH(bool, fast);
        QFETCH(bool, offline);
        QFETCH(QString, followed);
        QFETCH(bool, discovered);

        PanelTimings timings = PanelRig::timings();
        timings.requestTimeout = 300ms;
        PanelRig rig(timings);
        QVERIFY(rig.follow(QStringLiteral("A"), QStringLiteral("fixing")));
        QVERIFY(!rig.model->offline());
        const int listReads = rig.server.count(listPath);

        const auto script = [&](const QString& path, const QString& text, int code = 200) {
            if (text == QLatin1String("silent"))
                rig.answers[path] = TestHttpServer::silent();
            else if (text.startsWith(QLatin1Char('<')))
                rig.answers[path] = TestHttpServer::html(text.toUtf8(), code);
            else
                rig.answer(path, text.toUtf8(), code);
        };
        script(settingsPath, settings, settings.contains(QLatin1String("error")) ? 500 : 200);
        script(statusPath(QStringLiteral("A")), statusBody, statusCode);
        script(listPath, list);

        const auto pass = settle(rig.model->poll());
        QCOMPARE(pass.value, std::optional<bool>(fast));
        QCOMPARE(rig.model->offline(), offline);
        const std::optional<TrackedReport> report = rig.model->report();
        QCOMPARE(report ? report->id + QLatin1Char(' ') + report->status : QString(), followed);
        QCOMPARE(rig.server.count(listPath) > listReads, discovered);
        if (!offline)
            QCOMPARE(rig.model->autoRelaunch(), std::optional<bool>(false));
    }

    // Adoption by a pass without a followed report.
    void discovery_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("adopted");   // empty: none
        QTest::addColumn<QDateTime>("started"); // invalid: the current time
        QTest::addColumn<QString>("request");
        QTest::addColumn<bool>("fast");

        const QDateTime nine(QDate(2024, 5, 1), QTime(9, 0, 0, 125), Qt::UTC);
        QTest::newRow("the later hour")
            << R"([{"id":"a","status":"fixing","createdAt":"2024-05-01T08:00:00.125Z"},)"
               R"({"id":"b","status":"queued","createdAt":"2024-05-01T09:00:00.125Z"}])"
            << "b" << nine << "" << true;
        QTest::newRow("a tie: the first listed")
            << R"([{"id":"a","status":"review","createdAt":"2024-05-01T09:00:00.125Z","comment":"First"},)"
               R"({"id":"b","status":"fixing","createdAt":"2024-05-01T09:00:00.125Z"}])"
            << "a" << nine << "First" << false;
        QTest::newRow("no createdAt loses to one")
            << R"([{"id":"a","status":"fixing"},)"
               R"({"id":"b","status":"fixing","createdAt":"2024-05-01T09:00:00.125Z"}])"
            << "b" << nine << "" << true;
        QTest::newRow("no createdAt: now") << R"([{"id":"a","status":"sent","comment":"Hi"}])"
                                           << "a" << QDateTime() << "Hi" << true;
        QTest::newRow("garbage createdAt: now") << R"([{"id":"a","status":"sent","createdAt":"soon"}])"
                                                << "a" << QDateTime() << "" << true;
        QTest::newRow("numeric createdAt: now") << R"([{"id":"a","status":"sent","createdAt":1714554000}])"
                                                << "a" << QDateTime() << "" << true;
        QTest::newRow("no fraction, no zone")
            << R"([{"id":"a","status":"review","createdAt":"2024-05-01T09:00:00"}])"
            << "a" << nine.addMSecs(-125) << "" << false;
        QTest::newRow("offset")
            << R"([{"id":"a","status":"review","createdAt":"2024-05-01T11:00:00.125+02:00"}])"
            << "a" << nine << "" << false;
        QTest::newRow("finished ones are not adopted")
            << R"([{"id":"a","status":"verified"},{"id":"b","status":"committed"},{"id":"c","status":"failed"}])"
            << "" << QDateTime() << "" << false;
        QTest::newRow("broken entries are skipped")
            << R"([5,"x",null,[],{"status":"fixing"},{"id":7,"status":"fixing"},{"id":"n"},{"id":"s","status":1},)"
               R"({"id":"ok","status":"checking","comment":3}])"
            << "ok" << QDateTime() << "" << true;
        QTest::newRow("ids that can't be sent are skipped")
            << R"([{"id":"","status":"fixing","createdAt":"2024-05-02T00:00:00.000Z"},)"
               R"({"id":"..","status":"fixing","createdAt":"2024-05-02T00:00:00.000Z"},)"
               R"({"id":"b","status":"fixing","createdAt":"2024-05-01T09:00:00.125Z"}])"
            << "b" << nine << "" << true;
        QTest::newRow("not an array") << R"({"id":"a","status":"fixing"})"
                                      << "" << QDateTime() << "" << false;
        QTest::newRow("empty") << "[]"
                               << "" << QDateTime() << "" << false;
    }
    void discovery() {
        QFETCH(QString, list);
        QFETCH(QString, adopted);
        QFETCH(QDateTime, started);
        QFETCH(QString, request);
        QFETCH(bool, fast);
        PanelRig rig;
        rig.model->setVisible(true);
        rig.answer(listPath, list.toUtf8());
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const auto pass = settle(rig.model->poll());
        QCOMPARE(pass.value, std::optional<bool>(fast));
        const std::optional<TrackedReport> report = rig.model->report();
        QCOMPARE(report ? report->id : QString(), adopted);
        if (!report)
            return;
        QCOMPARE(report->request, request);
        if (started.isValid())
            QCOMPARE(report->started, started);
        else
            QVERIFY(report->started >= before && report->started <= QDateTime::currentDateTimeUtc());
    }

    // A status answer that arrives after the user dismissed the report changes nothing.
    void staleStatusIsDropped() {
        PanelRig rig;
        QVERIFY(rig.follow(QStringLiteral("A"), QStringLiteral("fixing")));
        rig.answer(statusPath(QStringLiteral("A")), R"({"status":"committed"})");
        rig.answer(listPath, "[]");
        rig.onRequest = [&](const QString& path) {
            if (path == statusPath(QStringLiteral("A")))
                rig.model->dismissReport();
        };
        settle(rig.model->poll());
        QCOMPARE(rig.model->report(), std::nullopt);
    }

    // A refusal about a report that a submission has replaced meanwhile leaves the new one.
    void refusalAboutAReplacedReport() {
        PanelRig rig;
        QVERIFY(rig.follow(QStringLiteral("A"), QStringLiteral("fixing")));
        QVERIFY(rig.capture());
        rig.model->setComment(QStringLiteral("x"));
        rig.answer(statusPath(QStringLiteral("A")), R"({"error":"No report"})", 404);
        rig.answer(QStringLiteral("/report"), R"({"id":"B","status":"queued"})", 201);
        rig.answer(statusPath(QStringLiteral("B")), R"({"status":"queued"})");
        bool sent = false;
        rig.onRequest = [&](const QString& path) {
            if (path == statusPath(QStringLiteral("A")) && !std::exchange(sent, true))
                rig.model->send();
        };
        settle(rig.model->poll());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.model->sending(), 5000);
        QVERIFY(rig.model->report());
        QCOMPARE(rig.model->report()->id, QStringLiteral("B"));
    }

    void dismissal() {
        PanelRig rig;
        QSignalSpy reports(rig.model.get(), &SimulatorPanelModel::reportChanged);
        rig.model->dismissReport();
        QCOMPARE(reports.size(), 0);
        QVERIFY(rig.model->dismissed().isEmpty());

        QVERIFY(rig.follow(QStringLiteral("A"), QStringLiteral("review")));
        rig.model->dismissReport();
        QCOMPARE(rig.model->report(), std::nullopt);
        QCOMPARE(rig.model->dismissed(), QSet<QString>{"A"});
        // Still in review, but never shown again.
        settle(rig.model->poll());
        QCOMPARE(rig.model->report(), std::nullopt);
        // A submission follows its report whatever was dismissed.
        rig.answer(QStringLiteral("/report"), R"({"id":"A"})", 201);
        QVERIFY(rig.capture());
        rig.model->setComment(QStringLiteral("x"));
        rig.model->send();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.model->sending(), 5000);
        QCOMPARE(rig.model->report()->id, QStringLiteral("A"));
    }

    void reportNotifiesOnlyOnChange() {
        PanelRig rig;
        QSignalSpy reports(rig.model.get(), &SimulatorPanelModel::reportChanged);
        QVERIFY(rig.follow(QStringLiteral("A"), QStringLiteral("fixing")));
        rig.answer(statusPath(QStringLiteral("A")), R"({"status":"fixing"})");
        settle(rig.model->poll());
        settle(rig.model->poll());
        QCOMPARE(reports.size(), 1);
        rig.answer(statusPath(QStringLiteral("A")), R"({"status":"checking"})");
        settle(rig.model->poll());
        QCOMPARE(reports.size(), 2);
    }

    // The loop: first pass at once, started once, fast while a report is worked on, slow otherwise.
    void loop() {
        PanelRig rig;
        rig.model->setVisible(true);
        rig.answer(listPath, "[]");
        rig.model->startPolling();
        rig.model->startPolling();
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.count(settingsPath), 1, 5000);
        QTest::qWait(300);
        QCOMPARE(rig.server.count(settingsPath), 1);

        // A pass skipped while hidden is made up for as the panel shows, not after the slow pause.
        PanelRig hidden;
        hidden.answer(listPath, "[]");
        hidden.model->startPolling();
        hidden.model->setVisible(true);
        QTRY_COMPARE_WITH_TIMEOUT(hidden.server.count(settingsPath), 1, 5000);

        PanelRig working;
        working.model->setVisible(true);
        working.answer(listPath, R"([{"id":"A","status":"fixing"}])");
        working.answer(statusPath(QStringLiteral("A")), R"({"status":"fixing"})");
        working.model->startPolling();
        QTRY_VERIFY_WITH_TIMEOUT(working.server.count(statusPath(QStringLiteral("A"))) >= 3, 5000);
        working.answer(statusPath(QStringLiteral("A")), R"({"status":"failed"})");
        QTRY_COMPARE_WITH_TIMEOUT(working.model->report()->status, QStringLiteral("failed"), 5000);
        const int passes = working.server.count(settingsPath);
        QTest::qWait(300);
        QCOMPARE(working.server.count(settingsPath), passes);
    }

    void offlineAndBack() {
        PanelTimings timings = PanelRig::timings();
        timings.requestTimeout = 300ms;
        PanelRig rig(timings);
        QVERIFY(rig.follow(QStringLiteral("A"), QStringLiteral("fixing")));
        QSignalSpy offline(rig.model.get(), &SimulatorPanelModel::offlineChanged);
        rig.answers[settingsPath] = TestHttpServer::silent();
        settle(rig.model->poll());
        QVERIFY(rig.model->offline());
        QCOMPARE(rig.model->report()->status, QStringLiteral("fixing"));
        // Hidden: the notice keeps its last value.
        rig.model->setVisible(false);
        settle(rig.model->poll());
        QVERIFY(rig.model->offline());
        rig.model->setVisible(true);
        rig.answer(settingsPath, "{}");
        rig.answer(statusPath(QStringLiteral("A")), R"({"status":"checking"})");
        settle(rig.model->poll());
        QVERIFY(!rig.model->offline());
        QCOMPARE(rig.model->report()->status, QStringLiteral("checking"));
        QCOMPARE(offline.size(), 2);
        // Polling never touches the error line.
        QCOMPARE(rig.model->error(), std::nullopt);
    }

    void reviewAction_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("sent"); // the id as it goes into the path and the status query
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("answer"); // "silent": no answer
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");
        const QString a = QStringLiteral("A");
        const QByteArray committed = R"({"status":"committed"})";
        QTest::newRow("committed") << a << a << 200 << committed << "committed" << QString();
        QTest::newRow("no status") << a << a << 200 << QByteArray(R"({"id":"A"})") << "review" << QString();
        QTest::newRow("bare text") << a << a << 200 << QByteArray(R"("committed")") << "review" << QString();
        QTest::newRow("refused") << a << a << 409
                                 << QByteArray(R"({"error":"Only a report in review can be changed"})")
                                 << "review"
                                 << "Only a report in review can be changed";
        QTest::newRow("times out") << a << a << 200 << QByteArray("silent") << "review"
                                   << "The request timed out.";
        QTest::newRow("id with / ? #: one segment")
            << "a/b?c#d"
            << "a%2Fb%3Fc%23d" << 200 << committed << "committed" << QString();
        QTest::newRow("id with dot segments: no step up")
            << "x/../.."
            << "x%2F..%2F.." << 200 << committed << "committed" << QString();
    }
    void reviewAction() {
        QFETCH(QString, id);
        QFETCH(QString, sent);
        QFETCH(int, code);
        QFETCH(QByteArray, answer);
        QFETCH(QString, status);
        QFETCH(QString, error);
        PanelTimings timings = PanelRig::timings();
        timings.requestTimeout = 300ms;
        PanelRig rig(timings);
        QVERIFY(rig.follow(id, QStringLiteral("review")));
        const QString path = QStringLiteral("/api/reports/") + sent + QStringLiteral("/commit");
        if (answer == "silent")
            rig.answers[path] = TestHttpServer::silent();
        else
            rig.answer(path, answer, code);

        QStringList log;
        connect(rig.model.get(), &SimulatorPanelModel::actingChanged, this,
                [&](bool on) { log << QStringLiteral("acting:%1").arg(on); });
        connect(rig.model.get(), &SimulatorPanelModel::reportChanged, this, [&] { log << "report"; });
        connect(rig.model.get(), &SimulatorPanelModel::errorChanged, this, [&] { log << "error"; });
        rig.model->act(QStringLiteral("commit"));
        QVERIFY(rig.model->acting());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.model->acting(), 5000);
        QCOMPARE(rig.model->report()->status, status);
        QCOMPARE(rig.model->error().value_or(QString()), error);
        QCOMPARE(log.last(), QStringLiteral("acting:0"));

        const TestHttpServer::Request request = rig.server.requests().last();
        QCOMPARE(request.path, path);
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.body, QByteArray("{}"));
        QCOMPARE(request.header("content-type"), std::optional<QByteArray>("application/json"));
        settle(rig.model->poll());
        QCOMPARE(rig.server.count(statusPath(sent)), 1);
    }

    void reviewActionEdges() {
        PanelRig rig;
        // Nothing followed: nothing happens.
        rig.model->act(QStringLiteral("commit"));
        QVERIFY(!rig.model->acting());
        QCOMPARE(rig.server.requestCount(), 0);

        // The answer is applied only while the same report is followed.
        QVERIFY(rig.follow(QStringLiteral("A"), QStringLiteral("review")));
        rig.answer(QStringLiteral("/api/reports/A/verify"), R"({"status":"verified"})");
        rig.onRequest = [&](const QString& path) {
            if (path.endsWith(QLatin1String("/verify")))
                rig.model->dismissReport();
        };
        rig.model->act(QStringLiteral("verify"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.model->acting(), 5000);
        QCOMPARE(rig.model->report(), std::nullopt);

        // Starting an action clears the error line.
        rig.onRequest = {};
        rig.answer(QStringLiteral("/api/reports/B/revert"), R"({"error":"Nope"})", 409);
        QVERIFY(rig.follow(QStringLiteral("B"), QStringLiteral("review")));
        rig.model->act(QStringLiteral("revert"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.model->error(), std::optional<QString>("Nope"), 5000);
        rig.answer(QStringLiteral("/api/reports/B/revert"), R"({"status":"reverted"})");
        rig.model->act(QStringLiteral("revert"));
        QCOMPARE(rig.model->error(), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(rig.model->report()->status, QStringLiteral("reverted"), 5000);
    }

    void openInDashboard_data() {
        QTest::addColumn<bool>("following");
        QTest::addColumn<bool>("raiser");
        QTest::newRow("with a window to raise") << true << true;
        QTest::newRow("no window qualifies") << true << false;
        QTest::newRow("nothing followed") << false << true;
    }
    void openInDashboard() {
        QFETCH(bool, following);
        QFETCH(bool, raiser);
        PanelRig rig;
        if (following)
            QVERIFY(rig.follow(QStringLiteral("r-1"), QStringLiteral("review")));
        int raised = 0;
        if (raiser)
            rig.model->setRaiseMainWindow([&] { ++raised; });
        AppNotifications notifications;
        rig.model->setNotifications(&notifications);
        QSignalSpy posted(&notifications, &AppNotifications::posted);
        rig.model->openInDashboard();
        QCOMPARE(raised, following && raiser ? 1 : 0);
        QCOMPARE(posted.size(), following ? 1 : 0);
        if (following) {
            QCOMPARE(posted.first().at(0).toString(), QStringLiteral("Tallyrig.openReport"));
            QCOMPARE(posted.first().at(1).typeId(), QMetaType::QString);
            QCOMPARE(posted.first().at(1).toString(), QStringLiteral("r-1"));
        }
    }

    void settingChange_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<std::optional<bool>>("autoDispatch");
        QTest::addColumn<QString>("error");
        QTest::newRow("the new value") << 200 << QByteArray(R"({"autoDispatch":false,"autoRelaunch":true})")
                                       << std::optional<bool>(false) << "";
        QTest::newRow("the old value: the switch goes back")
            << 200 << QByteArray(R"({"autoDispatch":true,"autoRelaunch":true})") << std::optional<bool>(true)
            << "";
        QTest::newRow("not an object") << 200 << QByteArray(R"("ok")") << std::optional<bool>(true) << "";
        QTest::newRow("refused") << 400 << QByteArray(R"({"error":"autoDispatch must be true or false"})")
                                 << std::optional<bool>(true) << "autoDispatch must be true or false";
    }
    void settingChange() {
        QFETCH(int, code);
        QFETCH(QByteArray, answer);
        QFETCH(std::optional<bool>, autoDispatch);
        QFETCH(QString, error);
        PanelRig rig;
        rig.model->applySettings(json{{"autoDispatch", true}, {"autoRelaunch", true}});
        rig.answer(settingsPath, answer, code);
        rig.model->setSetting(QStringLiteral("autoDispatch"), false);
        // Nothing changes before the bridge answers.
        QCOMPARE(rig.model->autoDispatch(), std::optional<bool>(true));
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.requestCount(), 1, 5000);
        // The answer arrives after the request is counted.
        QTRY_COMPARE_WITH_TIMEOUT(rig.model->error().value_or(QString()), error, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.model->autoDispatch(), autoDispatch, 5000);
        QCOMPARE(rig.model->autoRelaunch(), std::optional<bool>(true));
        const TestHttpServer::Request request = rig.server.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.body, QByteArray(R"({"autoDispatch":false})"));
    }

    void applySettings_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<std::optional<bool>>("autoDispatch");
        QTest::addColumn<std::optional<bool>>("autoRelaunch");
        QTest::addColumn<int>("changes");
        const std::optional<bool> none;
        QTest::newRow("both") << QByteArray(R"({"autoDispatch":false,"autoRelaunch":true})")
                              << std::optional<bool>(false) << std::optional<bool>(true) << 1;
        QTest::newRow("empty object") << QByteArray("{}") << none << none << 2;
        QTest::newRow("not Booleans")
            << QByteArray(R"({"autoDispatch":"yes","autoRelaunch":1})") << none << none << 2;
        QTest::newRow("null members") << QByteArray(R"({"autoDispatch":null,"autoRelaunch":true})") << none
                                      << std::optional<bool>(true) << 1;
        QTest::newRow("array") << QByteArray(R"([true,true])") << std::optional<bool>(true)
                               << std::optional<bool>(true) << 0;
        QTest::newRow("text") << QByteArray(R"("on")") << std::optional<bool>(true)
                              << std::optional<bool>(true) << 0;
        QTest::newRow("null") << QByteArray("null") << std::optional<bool>(true) << std::optional<bool>(true)
                              << 0;
    }
    void applySettings() {
        QFETCH(QByteArray, answer);
        QFETCH(std::optional<bool>, autoDispatch);
        QFETCH(std::optional<bool>, autoRelaunch);
        QFETCH(int, changes);
        PanelRig rig;
        rig.model->applySettings(json{{"autoDispatch", true}, {"autoRelaunch", true}});
        QSignalSpy dispatch(rig.model.get(), &SimulatorPanelModel::autoDispatchChanged);
        QSignalSpy relaunch(rig.model.get(), &SimulatorPanelModel::autoRelaunchChanged);
        const json parsed = json::parse(answer.constData(), answer.constData() + answer.size());
        rig.model->applySettings(parsed);
        rig.model->applySettings(parsed);
        QCOMPARE(rig.model->autoDispatch(), autoDispatch);
        QCOMPARE(rig.model->autoRelaunch(), autoRelaunch);
        QCOMPARE(dispatch.size() + relaunch.size(), changes);
    }
};

// The report\'s pictures are drawn with the desktop\'s fonts.
QTEST_MAIN(PanelTrackingTest)
#include "tst_paneltracking.moc"
