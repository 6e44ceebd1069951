#include "PanelRig.h"
#include "foundation/Brand.h"

#include <QSignalSpy>

using nlohmann::json;
using namespace PanelFixtures;
using namespace std::chrono_literals;

namespace {

const QString couldNot = QStringLiteral("Couldn\u2019t capture the simulator: ");
const QString noReport = QStringLiteral("The bridge didn\u2019t return a report");

// Three pins: the Save button, the screen's background and a label below.
std::vector<PickResult> threePins() {
    PickResult background = pick(std::nullopt);
    background.identifier.reset();
    background.label.reset();
    background.role = QStringLiteral("Screen");
    background.point = QPointF(420, 140);
    PickResult label = pick(QRectF(410, 300, 200, 20));
    label.identifier.reset();
    label.label = QStringLiteral("Total");
    label.role = QStringLiteral("StaticText");
    label.point = QPointF(450, 310);
    return {pick(), background, label};
}

QImage decoded(const nlohmann::json& base64) {
    return QImage::fromData(QByteArray::fromBase64(QByteArray::fromStdString(base64.get<std::string>())),
                            "PNG");
}

} // namespace

class PanelComposeTest : public QObject {
    Q_OBJECT

private slots:
    void capture_data() {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QByteArray>("png");
        QTest::addColumn<bool>("screenshotFails");
        QTest::addColumn<QRectF>("screen");
        QTest::addColumn<QString>("error"); // empty: a draft; ends with "…": a prefix
        const QRectF screen(400, 120, 262, 568);
        const QByteArray shot = PanelRig::screenshot();
        QTest::newRow("captured") << listing() << shot << false << screen << "";
        QTest::newRow("no booted device")
            << QByteArray(R"({"devices":{}})") << shot << false << screen << couldNot + "No booted simulator";
        QTest::newRow("listing not JSON")
            << QByteArray("nope") << shot << false << screen << couldNot + "\u2026";
        QTest::newRow("screenshot fails")
            << listing() << shot << true << screen << couldNot + "simctl io failed";
        QTest::newRow("not a PNG") << listing() << QByteArray("GIF89a\x01\x00\x01\x00") << false << screen
                                   << couldNot + "Unreadable screenshot";
        QTest::newRow("empty screenshot")
            << listing() << QByteArray() << false << screen << couldNot + "Unreadable screenshot";
        QTest::newRow("PNG cut in its header")
            << listing() << shot.left(20) << false << screen << couldNot + "Unreadable screenshot";
        QTest::newRow("screen without width") << listing() << shot << false << QRectF(400, 120, 0, 568)
                                              << couldNot + "The device screen has no size";
    }
    void capture() {
        QFETCH(QByteArray, listing);
        QFETCH(QByteArray, png);
        QFETCH(bool, screenshotFails);
        QFETCH(QRectF, screen);
        QFETCH(QString, error);

        PanelRig rig;
        const auto device = FakeSimulatorTool::device(listing, png);
        rig.tool.setAnswer([&](const QStringList& arguments) {
            platform::ToolRun run = device(arguments);
            if (screenshotFails && arguments.value(1) == QLatin1String("io"))
                run.exitStatus = 1;
            return run;
        });
        QStringList log;
        SimulatorPanelModel& model = *rig.model;
        connect(&model, &SimulatorPanelModel::capturingChanged, this,
                [&](bool on) { log << QStringLiteral("capturing:%1").arg(on); });
        connect(&model, &SimulatorPanelModel::draftChanged, this,
                [&] { log << (model.draft() ? QStringLiteral("draft") : QStringLiteral("no draft")); });
        connect(&model, &SimulatorPanelModel::errorChanged, this,
                [&](const std::optional<QString>& e) { log << (e ? QStringLiteral("error") : "no error"); });

        PickResult picked = pick();
        picked.screen = screen;
        model.select({picked});
        QTRY_VERIFY_WITH_TIMEOUT(!model.capturing(), 5000);

        if (error.isEmpty()) {
            QVERIFY(model.draft());
            QCOMPARE(model.error(), std::nullopt);
            const Draft& draft = *model.draft();
            QCOMPARE(draft.device.udid, udid);
            QCOMPARE(draft.mapping.size, QSizeF(393, 852));
            QCOMPARE(draft.mapping.factor, 1.5);
            QCOMPARE(draft.png, png);
            QCOMPARE(log, QStringList({"capturing:1", "draft", "capturing:0"}));
        } else {
            QCOMPARE(model.draft(), std::nullopt);
            QVERIFY(model.error());
            if (error.endsWith(QChar(0x2026)))
                QVERIFY2(model.error()->startsWith(error.chopped(1)) && model.error()->size() > error.size(),
                         qPrintable(*model.error()));
            else
                QCOMPARE(*model.error(), error);
            QCOMPARE(log, QStringList({"capturing:1", "error", "capturing:0"}));
        }
        // The screenshot file never stays behind.
        const QString file = rig.tool.calls.size() > 1 ? rig.tool.calls.last().last() : QString();
        QVERIFY(file.isEmpty() || !QFile::exists(file));
    }

    // A new pick drops the open draft at once; the request and category carry over.
    void newPickKeepsRequest() {
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        QVERIFY(rig.capture());
        model.setComment(QStringLiteral("Bigger"));
        model.setCategory(QStringLiteral("size"));
        QStringList log;
        connect(&model, &SimulatorPanelModel::draftChanged, this,
                [&] { log << (model.draft() ? QStringLiteral("draft") : QStringLiteral("no draft")); });
        connect(&model, &SimulatorPanelModel::capturingChanged, this,
                [&](bool on) { log << QStringLiteral("capturing:%1").arg(on); });
        PickResult other = pick(std::nullopt);
        other.point = QPointF(420, 140);
        model.select({other});
        QTRY_VERIFY_WITH_TIMEOUT(!model.capturing(), 5000);
        QCOMPARE(log, QStringList({"no draft", "capturing:1", "draft", "capturing:0"}));
        QCOMPARE(model.draft()->pick().point, QPointF(420, 140));
        QCOMPARE(model.comment(), QStringLiteral("Bigger"));
        QCOMPARE(model.category(), std::optional<QString>("size"));

        // Two picks in quick succession: the last wins, whichever capture ends first, and capturing
        // lasts until it has ended.
        rig.tool.holding = true;
        for (const bool newerEndsFirst : {true, false}) {
            model.select({pick()});
            model.select({other});
            for (int run = 0; newerEndsFirst && run < 2; ++run)
                rig.tool.release(1);
            while (rig.tool.held() > 0) {
                QCOMPARE(model.capturing(), !newerEndsFirst);
                rig.tool.release(0);
            }
            QVERIFY(!model.capturing());
            QCOMPARE(model.draft()->pick().point, QPointF(420, 140));
            QCOMPARE(model.error(), std::nullopt);
        }
    }

    void canSend_data() {
        QTest::addColumn<bool>("withDraft");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<bool>("canSend");
        QTest::newRow("no draft") << false << "Bigger" << false;
        QTest::newRow("empty request") << true << "" << false;
        QTest::newRow("white space only") << true << " \n\t\r " << false;
        QTest::newRow("request") << true << " Bigger \n" << true;
    }
    void canSend() {
        QFETCH(bool, withDraft);
        QFETCH(QString, comment);
        QFETCH(bool, canSend);
        PanelRig rig;
        QSignalSpy changes(rig.model.get(), &SimulatorPanelModel::canSendChanged);
        if (withDraft)
            QVERIFY(rig.capture());
        rig.model->setComment(comment);
        QCOMPARE(rig.model->canSend(), canSend);
        QCOMPARE(changes.size(), canSend ? 1 : 0);
        rig.model->setComment(comment + QLatin1Char('\n'));
        QCOMPARE(changes.size(), canSend ? 1 : 0);
    }

    // What "/report" answers, and what the panel makes of it.
    void submission_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reportStatus"); // empty: no report
        QTest::addColumn<QString>("error");
        QTest::newRow("id and status") << 201 << QByteArray(R"({"id":"r1","status":"queued"})") << "queued"
                                       << "";
        QTest::newRow("id only") << 201 << QByteArray(R"({"id":"r1"})") << "sent"
                                 << "";
        QTest::newRow("non-text status") << 201 << QByteArray(R"({"id":"r1","status":3})") << "sent"
                                         << "";
        QTest::newRow("status only") << 201 << QByteArray(R"({"status":"queued"})") << "" << noReport;
        QTest::newRow("numeric id") << 201 << QByteArray(R"({"id":5})") << "" << noReport;
        QTest::newRow("empty id") << 201 << QByteArray(R"({"id":""})") << "" << noReport;
        QTest::newRow("bare text") << 200 << QByteArray(R"("r1")") << "" << noReport;
        QTest::newRow("array") << 200 << QByteArray(R"([{"id":"r1"}])") << "" << noReport;
        QTest::newRow("refused with text")
            << 400 << QByteArray(R"({"error":"comment must not be empty"})") << ""
            << "comment must not be empty";
        QTest::newRow("refused with number") << 500 << QByteArray(R"({"error":500})") << ""
                                             << "Bridge error";
        QTest::newRow("empty answer") << 200 << QByteArray() << ""
                                      << "The bridge sent an empty answer";
    }
    void submission() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, reportStatus);
        QFETCH(QString, error);

        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        model.setVisible(true);
        rig.answer(QStringLiteral("/report"), body, status);
        rig.answer(QStringLiteral("/status?id=r1"), "{}");
        rig.answer(QStringLiteral("/api/reports"), "[]");
        QVERIFY(rig.capture(threePins()));
        model.setComment(QStringLiteral("  Make it bigger\n"));
        model.setCategory(QStringLiteral("size"));

        // The polling pass has run by the time `sending` turns false.
        int settingsReadsWhenDone = -1;
        connect(&model, &SimulatorPanelModel::sendingChanged, this, [&](bool on) {
            if (!on)
                settingsReadsWhenDone = rig.server.count(QStringLiteral("/api/settings"));
        });
        const QDateTime before = QDateTime::currentDateTimeUtc();
        model.send();
        QVERIFY(model.sending());
        QVERIFY(!model.canSend());
        model.send();
        QTRY_VERIFY_WITH_TIMEOUT(!model.sending(), 5000);
        QCOMPARE(rig.server.count(QStringLiteral("/report")), 1);

        if (!reportStatus.isEmpty()) {
            QVERIFY(model.report());
            QCOMPARE(model.report()->id, QStringLiteral("r1"));
            QCOMPARE(model.report()->status, reportStatus);
            QCOMPARE(model.report()->request, QStringLiteral("Make it bigger"));
            QVERIFY(model.report()->started >= before.addMSecs(-1));
            QCOMPARE(model.draft(), std::nullopt);
            QCOMPARE(model.comment(), QString());
            QCOMPARE(model.category(), std::nullopt);
            QCOMPARE(model.error(), std::nullopt);
            QCOMPARE(settingsReadsWhenDone, 1);
        } else {
            QCOMPARE(model.report(), std::nullopt);
            QCOMPARE(model.error(), std::optional<QString>(error));
            QVERIFY(model.draft());
            QCOMPARE(model.comment(), QStringLiteral("  Make it bigger\n"));
            QCOMPARE(model.category(), std::optional<QString>("size"));
            QVERIFY(model.canSend());
            QCOMPARE(settingsReadsWhenDone, 0);
        }

        // What went to the bridge: the trimmed request, the category and the screenshot.
        const QByteArray sent = rig.server.requests().at(rig.server.paths().indexOf("/report")).body;
        const json parsed = json::parse(sent.constData(), sent.constData() + sent.size());
        QCOMPARE(parsed["comment"].get<std::string>(), "Make it bigger");
        QCOMPARE(parsed["category"].get<std::string>(), "size");
        QCOMPARE(QByteArray::fromStdString(parsed["screenshotPNG"].get<std::string>()),
                 PanelRig::screenshot().toBase64());
        QCOMPARE(parsed["elements"].size(), std::size_t(3));
        // Beside it the same picture with the pins drawn at the device's scale (3 pixels a point):
        // the Save button's outline runs down x 45, in the brand colour.
        const QImage annotated = decoded(parsed["annotatedScreenshotPNG"]);
        QCOMPARE(annotated.size(), QSize(1179, 2556));
        QCOMPARE(annotated.pixelColor(45, 144), QColor(Brand::rgb));
        QVERIFY(annotated.pixelColor(300, 144) != QColor(Qt::white)); // its faint inside
        QCOMPARE(annotated.pixelColor(900, 2000), QColor(Qt::white)); // far from every pin
    }

    // A report the panel sent is compared at review with a fresh screenshot of its device; an adopted
    // one has nothing to compare with.
    void beforeAndAfter_data() {
        QTest::addColumn<bool>("sentHere");
        QTest::addColumn<bool>("screenshotFails");
        QTest::addColumn<int>("state"); // PanelComparison::After::State
        QTest::addColumn<QString>("error");
        using State = PanelComparison::After::State;
        QTest::newRow("sent here: after taken") << true << false << int(State::Taken) << "";
        QTest::newRow("sent here: capture fails")
            << true << true << int(State::Failed) << couldNot + "simctl io failed";
        QTest::newRow("adopted: nothing to compare") << false << false << int(State::None) << "";
    }
    void beforeAndAfter() {
        QFETCH(bool, sentHere);
        QFETCH(bool, screenshotFails);
        QFETCH(int, state);
        QFETCH(QString, error);
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        if (sentHere) {
            rig.answer(QStringLiteral("/report"), R"({"id":"r1","status":"fixing"})", 201);
            rig.answer(QStringLiteral("/status?id=r1"), R"({"status":"fixing"})");
            QVERIFY(rig.capture());
            model.setComment(QStringLiteral("x"));
            model.send();
            QTRY_VERIFY_WITH_TIMEOUT(model.report() && !model.sending(), 5000);
            QVERIFY(model.report()->sent);
            QCOMPARE(model.report()->sent->udid, udid);
        } else {
            QVERIFY(rig.follow(QStringLiteral("r1"), QStringLiteral("fixing")));
        }
        QCOMPARE(int(model.after().state), int(PanelComparison::After::State::None));
        const qsizetype calls = rig.tool.calls.size();
        const auto device = FakeSimulatorTool::device(listing(), PanelRig::screenshot());
        rig.tool.setAnswer([&](const QStringList& arguments) {
            platform::ToolRun run = device(arguments);
            run.exitStatus = screenshotFails ? 1 : run.exitStatus;
            return run;
        });
        rig.answer(QStringLiteral("/status?id=r1"), R"({"status":"review"})");
        model.setVisible(true);
        settle(model.poll());
        QTRY_VERIFY_WITH_TIMEOUT(model.after().state != PanelComparison::After::State::Capturing, 5000);
        QCOMPARE(int(model.after().state), state);
        QCOMPARE(model.after().error, error);
        QCOMPARE(rig.tool.calls.size(), calls + (sentHere ? 1 : 0));
        if (sentHere)
            QVERIFY(rig.tool.calls.last().contains(udid));
        if (state == int(PanelComparison::After::State::Taken))
            QVERIFY(!model.after().thumbnail.isNull());
        // Leaving review drops it; nothing went to the bridge but the status reads.
        rig.answer(QStringLiteral("/status?id=r1"), R"({"status":"committed"})");
        rig.answer(QStringLiteral("/api/reports"), "[]");
        settle(model.poll());
        QCOMPARE(int(model.after().state), int(PanelComparison::After::State::None));
        QCOMPARE(rig.server.count(QStringLiteral("/report")), sentHere ? 1 : 0);
    }

    // Removing a pin makes a draft of the others, drawn again; the last one goes with the draft.
    void removePin_data() {
        QTest::addColumn<int>("pins");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("the middle of three") << 3 << 1 << QStringList{"saveButton", "Total"};
        QTest::newRow("the first of three") << 3 << 0 << QStringList{"Screen", "Total"};
        QTest::newRow("the only one") << 1 << 0 << QStringList{};
        QTest::newRow("none at that place") << 3 << 7 << QStringList{"saveButton", "Screen", "Total"};
    }
    void removePin() {
        QFETCH(int, pins);
        QFETCH(int, removed);
        QFETCH(QStringList, left);
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        std::vector<PickResult> picked = threePins();
        picked.resize(std::size_t(pins));
        QVERIFY(rig.capture(picked));
        model.setComment(QStringLiteral("Swap these"));
        QTRY_VERIFY_WITH_TIMEOUT(model.pictures(), 5000);
        model.removePin(std::size_t(removed));
        QStringList names;
        for (const PickResult& pin : model.draft() ? model.draft()->pins : std::vector<PickResult>{})
            names.append(pin.identifier.value_or(pin.label.value_or(pin.role)));
        QCOMPARE(names, left);
        QCOMPARE(model.comment(), left.isEmpty() ? QString() : QStringLiteral("Swap these"));
        if (!left.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(model.pictures(), 5000);
    }

    // A submission replaces the followed report; a failing one leaves it and the error is cleared
    // only by the next attempt.
    void submissionErrorClearedOnRetry() {
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        rig.answer(QStringLiteral("/report"), R"({"error":"Busy"})", 503);
        QVERIFY(rig.capture());
        model.setComment(QStringLiteral("x"));
        model.send();
        QTRY_COMPARE_WITH_TIMEOUT(model.error(), std::optional<QString>("Busy"), 5000);
        QSignalSpy errors(&model, &SimulatorPanelModel::errorChanged);
        rig.answer(QStringLiteral("/report"), R"({"id":"r2"})", 201);
        model.send();
        QCOMPARE(model.error(), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(!model.sending(), 5000);
        QCOMPARE(model.report()->id, QStringLiteral("r2"));
        QCOMPARE(errors.size(), 1);
    }

    void discard() {
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        rig.answer(QStringLiteral("/report"), R"({"nope":1})", 201);
        QVERIFY(rig.capture());
        model.setComment(QStringLiteral("x"));
        model.setCategory(QStringLiteral("color"));
        model.setShowContext(true);
        model.send();
        QTRY_VERIFY_WITH_TIMEOUT(model.error().has_value(), 5000);
        rig.answers[QStringLiteral("/packet")] = TestHttpServer::hold();
        QCoro::Task<> late = model.refreshPacket();
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.count(QStringLiteral("/packet")), 1, 5000);
        model.discard();
        QCOMPARE(model.draft(), std::nullopt);
        QCOMPARE(model.comment(), QString());
        QCOMPARE(model.category(), std::nullopt);
        QCOMPARE(model.packet(), QString());
        QCOMPARE(model.error(), std::nullopt);
        QVERIFY(model.showContext());
        // The discarded draft's preview, arriving now, is not shown.
        rig.server.answerHeld(TestHttpServer::json(R"({"prompt":"old"})"));
        QVERIFY(settle(std::move(late)).value);
        QCOMPARE(model.packet(), QString());
    }

    void preview_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("packet");
        QTest::newRow("object: sorted, indented, slashes as they are")
            << 200 << QByteArray(R"({"prompt":"a/b \u00e9","element":{"y":1,"x":2}})")
            << "{\n  \"element\": {\n    \"x\": 2,\n    \"y\": 1\n  },\n  \"prompt\": \"a/b \u00e9\"\n}";
        QTest::newRow("array") << 200 << QByteArray("[1]") << "[\n  1\n]";
        QTest::newRow("bare text")
            << 200 << QByteArray(R"("ok")")
            << "Preview unavailable: The bridge\u2019s answer isn\u2019t a JSON object";
        QTest::newRow("refused") << 400 << QByteArray(R"({"error":"touch.y must be a number"})")
                                 << "Preview unavailable: touch.y must be a number";
        QTest::newRow("bridge error") << 500 << QByteArray("{}") << "Preview unavailable: Bridge error";
    }
    void preview() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, packet);
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        rig.answer(QStringLiteral("/packet"), body, status);
        QVERIFY(rig.capture());
        // Closed preview: nothing asked.
        QVERIFY(settle(model.refreshPacket()).value);
        QCOMPARE(rig.server.count(QStringLiteral("/packet")), 0);

        model.setShowContext(true);
        QVERIFY(settle(model.refreshPacket()).value);
        QCOMPARE(model.packet(), packet);
        const QByteArray sent = rig.server.requests().last().body;
        QVERIFY(!sent.contains("screenshotPNG"));
        QVERIFY(sent.contains("\"touch\""));
    }

    // One request a delay after the last change of the key, and only while active.
    void previewRefresh() {
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        rig.answer(QStringLiteral("/packet"), R"({"prompt":"p"})");
        QVERIFY(rig.capture());
        const auto packets = [&] { return rig.server.count(QStringLiteral("/packet")); };
        const int settle = int(3 * rig.model->timings().previewDelay.count());

        // Inactive: typing asks nothing.
        model.setShowContext(true);
        model.setComment(QStringLiteral("a"));
        QTest::qWait(settle);
        QCOMPARE(packets(), 0);

        // Coming on screen asks once.
        model.previewRefresh().setActive(true);
        QTRY_COMPARE_WITH_TIMEOUT(packets(), 1, 5000);

        // Three keystrokes within the delay: one more request.
        model.setComment(QStringLiteral("ab"));
        model.setComment(QStringLiteral("abc"));
        model.setComment(QStringLiteral("abcd"));
        QTRY_COMPARE_WITH_TIMEOUT(packets(), 2, 5000);
        QTest::qWait(settle);
        QCOMPARE(packets(), 2);
        QVERIFY(rig.server.requests().last().body.contains("\"comment\":\"abcd\""));

        // Closing the preview changes the key, but refreshPacket asks nothing while it is closed.
        model.setShowContext(false);
        QTest::qWait(settle);
        QCOMPARE(packets(), 2);

        // Leaving the screen during the delay cancels the refresh.
        model.setShowContext(true);
        model.previewRefresh().setActive(false);
        QTest::qWait(settle);
        QCOMPARE(packets(), 2);
    }

    // The port is read for every request: absent or of another type means the default (4747; here
    // the test server's, so that whatever runs on this machine's 4747 does not matter).
    void storedPort_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("sent"); // false: the request is refused before it is sent
        QTest::newRow("none") << QByteArray("{}") << true;
        QTest::newRow("text") << QByteArray(R"({"bridgePort":"5000"})") << true;
        QTest::newRow("fraction") << QByteArray(R"({"bridgePort":5000.5})") << true;
        QTest::newRow("negative") << QByteArray(R"({"bridgePort":-1})") << false;
        QTest::newRow("above range") << QByteArray(R"({"bridgePort":70000})") << false;
    }
    void storedPort() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, sent);
        TestHttpServer server(
            [](const QByteArray&, const QString&) { return TestHttpServer::json("{}", 500); });
        QVERIFY(server.listen());
        TempSettings store(stored, server.port());
        FakeSimulatorTool tool(FakeSimulatorTool::device(listing(), PanelRig::screenshot()));
        SimulatorPanelModel model(tool, *store.settings, PanelRig::timings());
        model.select({pick()});
        QTRY_VERIFY_WITH_TIMEOUT(model.draft().has_value(), 5000);
        model.setComment(QStringLiteral("x"));
        model.send();
        QTRY_VERIFY_WITH_TIMEOUT(!model.sending(), 5000);
        if (!sent) {
            QCOMPARE(model.error(), std::optional<QString>("Invalid bridge port"));
            QCOMPARE(server.requestCount(), 0);
        } else {
            QCOMPARE(model.error(), std::optional<QString>("Bridge error"));
            QCOMPARE(server.count(QStringLiteral("/report")), 1);
        }
    }

    void portChangeAppliesToNextRequest() {
        PanelRig rig;
        TestHttpServer other([](const QByteArray&, const QString&) { return TestHttpServer::json("{}"); });
        QVERIFY(other.listen());
        rig.model->setVisible(true);
        settle(rig.model->poll());
        rig.store->settings->setBridgePort(other.port());
        settle(rig.model->poll());
        QCOMPARE(rig.server.count(QStringLiteral("/api/settings")), 1);
        QCOMPARE(other.count(QStringLiteral("/api/settings")), 1);
    }

    // Each observable property notifies once per actual change.
    void notifiesOnlyOnChange() {
        PanelRig rig;
        SimulatorPanelModel& model = *rig.model;
        const QMetaObject* meta = model.metaObject();
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            QVERIFY2(meta->property(i).hasNotifySignal(), meta->property(i).name());
            QVERIFY2(meta->property(i).read(&model).isValid(), meta->property(i).name());
        }
        QSignalSpy visible(&model, &SimulatorPanelModel::visibleChanged);
        QSignalSpy trusted(&model, &SimulatorPanelModel::trustedChanged);
        QSignalSpy picking(&model, &SimulatorPanelModel::pickingChanged);
        QSignalSpy title(&model, &SimulatorPanelModel::deviceTitleChanged);
        QSignalSpy comment(&model, &SimulatorPanelModel::commentChanged);
        QSignalSpy category(&model, &SimulatorPanelModel::categoryChanged);
        QSignalSpy context(&model, &SimulatorPanelModel::showContextChanged);
        QSignalSpy key(&model, &SimulatorPanelModel::refreshKeyChanged);
        for (int i = 0; i < 2; ++i) {
            model.setVisible(true);
            model.setTrusted(true);
            model.setPicking(true);
            model.setDeviceTitle(windowTitle);
            model.setComment(QStringLiteral("a"));
            model.setCategory(QStringLiteral("text"));
            model.setShowContext(true);
        }
        for (QSignalSpy* spy : {&visible, &trusted, &picking, &title, &comment, &category, &context})
            QCOMPARE(spy->size(), 1);
        QCOMPARE(key.size(), 3);
        QCOMPARE(model.refreshKey(), QStringLiteral("true|a|text"));
        model.setCategory(std::nullopt);
        QCOMPARE(model.refreshKey(), QStringLiteral("true|a|"));
    }

    // The model may go while its requests are out; their answers then change nothing.
    void modelGoneWhileWaiting() {
        PanelRig rig;
        rig.answers[QStringLiteral("/report")] = TestHttpServer::silent();
        rig.answers[QStringLiteral("/api/settings")] = TestHttpServer::silent();
        QVERIFY(rig.capture());
        rig.model->setComment(QStringLiteral("x"));
        rig.model->setVisible(true);
        rig.model->send();
        rig.model->startPolling();
        QTRY_COMPARE_WITH_TIMEOUT(rig.server.requestCount(), 2, 5000);
        rig.model.reset();
        QTest::qWait(int(PanelRig::timings().requestTimeout.count()) + 500);
        QCOMPARE(rig.server.requestCount(), 2);
    }
};

// The report\'s pictures are drawn with the desktop\'s fonts.
QTEST_MAIN(PanelComposeTest)
#include "tst_panelcompose.moc"
