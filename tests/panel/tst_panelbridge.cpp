#include "PanelFixtures.h"
#include "panel/BridgeApi.h"
#include "panel/SimulatorPanelModel.h"
#include "support/ReferenceBridge.h"
#include "support/Settle.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QTest>

using nlohmann::json;
using namespace PanelFixtures;
using namespace std::chrono_literals;

namespace {

QByteArray fetch(const QString& url) {
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

} // namespace

// The model against the real reference bridge, along the whole road of a report.
class PanelBridgeTest : public QObject {
    Q_OBJECT

private slots:
    void reportRoad() {
        ReferenceBridge bridge(40);
        QVERIFY2(bridge.start(), qPrintable(bridge.log()));
        TempSettings store(bridge.port());
        const QByteArray screenshot = png(1179, 2556);
        FakeSimulatorTool tool(FakeSimulatorTool::device(listing(), screenshot));
        PanelTimings timings;
        timings.previewDelay = 50ms;
        timings.fastPoll = 20ms;
        timings.slowPoll = 200ms;
        SimulatorPanelModel model(tool, *store.settings, timings);
        model.setVisible(true);

        QStringList statuses;
        connect(&model, &SimulatorPanelModel::reportChanged, this, [&] {
            if (model.report() && (statuses.isEmpty() || statuses.last() != model.report()->status))
                statuses << model.report()->status;
        });

        // Capture and preview.
        model.select({pick()});
        QTRY_VERIFY_WITH_TIMEOUT(model.draft().has_value(), 5000);
        model.setComment(QStringLiteral("Make the Save button bigger"));
        model.setCategory(QStringLiteral("layout"));
        model.setShowContext(true);
        model.previewRefresh().setActive(true);
        QTRY_VERIFY_WITH_TIMEOUT(model.packet().contains(QLatin1String("\"prompt\"")), 5000);
        QVERIFY2(model.packet().contains(
                     QStringLiteral("Element: saveButton (Button) at x 15, y 15, 150 \u00d7 66")),
                 qPrintable(model.packet()));
        model.previewRefresh().setActive(false);

        // Send; the sent report is followed at once.
        model.send();
        QTRY_VERIFY_WITH_TIMEOUT(!model.sending(), 10000);
        QCOMPARE(model.error(), std::nullopt);
        QVERIFY(model.report());
        const QString id = model.report()->id;
        QCOMPARE(model.report()->request, QStringLiteral("Make the Save button bigger"));
        QCOMPARE(model.draft(), std::nullopt);
        QCOMPARE(model.autoDispatch(), std::optional<bool>(true));

        // What the bridge stored: the body as sent, the screenshot byte for byte.
        const QByteArray stored = fetch(bridge.baseAddress() + QStringLiteral("/api/reports/") + id);
        const json detail = json::parse(stored.constData(), stored.constData() + stored.size());
        QCOMPARE(detail["category"].get<std::string>(), "layout");
        QCOMPARE(detail["touch"]["x"].get<double>(), 168.5);
        QCOMPARE(detail["element"]["frame"]["width"].get<double>(), 150.0);
        QCOMPARE(fetch(bridge.baseAddress() + QStringLiteral("/api/reports/") + id +
                       QStringLiteral("/screenshot")),
                 screenshot);

        // Polling follows the agent into review, through the working steps in order.
        model.startPolling();
        QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, QStringLiteral("review"), 15000);
        QVERIFY(statuses.size() >= 2);
        qsizetype last = -1;
        for (const QString& status : std::as_const(statuses)) {
            const qsizetype at = ReportStatus::working.indexOf(status);
            QVERIFY2(at > last || status == QLatin1String("review"), qPrintable(statuses.join(' ')));
            last = at;
        }

        // Commit, then the next pass keeps the finished report and finds nothing newer.
        model.act(QStringLiteral("commit"));
        QTRY_VERIFY_WITH_TIMEOUT(!model.acting(), 5000);
        QCOMPARE(model.error(), std::nullopt);
        QCOMPARE(model.report()->status, QStringLiteral("committed"));
        const auto pass = settle(model.poll());
        QCOMPARE(pass.value, std::optional<bool>(false));
        QCOMPARE(model.report()->id, id);
        QCOMPARE(model.report()->status, QStringLiteral("committed"));
        QVERIFY(!model.offline());

        // A report sent from elsewhere is adopted, with the bridge's creation time.
        const QString other = bridge.postReport(QStringLiteral("Larger title"));
        QVERIFY(!other.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(model.report()->id, other, 5000);
        QCOMPARE(model.report()->request, QStringLiteral("Larger title"));
        QVERIFY(qAbs(model.report()->started.secsTo(QDateTime::currentDateTimeUtc())) < 60);

        // A setting change goes through the bridge and comes back.
        model.setSetting(QStringLiteral("autoRelaunch"), false);
        QTRY_COMPARE_WITH_TIMEOUT(model.autoRelaunch(), std::optional<bool>(false), 5000);

        // A report the bridge refuses to act on: its message shows.
        QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, QStringLiteral("review"), 15000);
        model.act(QStringLiteral("revert"));
        QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, QStringLiteral("reverted"), 5000);
        model.act(QStringLiteral("revert"));
        QTRY_VERIFY_WITH_TIMEOUT(!model.acting(), 5000);
        QVERIFY(model.error() && model.error()->contains(QLatin1String("in review")));
    }

    // Send from the panel to a real headless agent (a script that edits a file in a git
    // repository), follow it to "Ready to review", and commit exactly that file.
    void sendToScriptAgent() {
        ReferenceBridge bridge;
        bridge.useAgent(
            QStringLiteral(TALLYRIG_TEST_NODE),
            {QStringLiteral("-e"),
             QStringLiteral("require('fs').appendFileSync('Sources/Title.swift', '// larger\\n')")});
        QVERIFY2(bridge.start(), qPrintable(bridge.log()));
        SimulatorPanelModel& model = sendFrom(bridge);
        QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, ReportStatus::review, 20000);
        QCOMPARE(ReportStatus::titles.value(model.report()->status), QStringLiteral("Ready to review"));
        QFile title(bridge.folder() + QStringLiteral("/Sources/Title.swift"));
        QVERIFY(title.open(QIODevice::ReadOnly));
        QVERIFY(title.readAll().endsWith("// larger\n"));

        model.act(QStringLiteral("commit"));
        QTRY_VERIFY_WITH_TIMEOUT(!model.acting(), 10000);
        QCOMPARE(model.error(), std::nullopt);
        QCOMPARE(model.report()->status, QStringLiteral("committed"));
    }

    // No headless agent: the report waits until an MCP agent (the SDK's client over stdio) takes
    // and finishes it, and the panel's polling follows it to "Ready to review".
    void mcpAgentFinishes() {
        ReferenceBridge bridge;
        bridge.useNoAgent();
        QVERIFY2(bridge.start(), qPrintable(bridge.log()));
        SimulatorPanelModel& model = sendFrom(bridge);
        QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, QStringLiteral("queued"), 10000);

        QProcess agent;
        agent.setProcessChannelMode(QProcess::MergedChannels);
        agent.start(
            QStringLiteral(TALLYRIG_TEST_NODE),
            {QStringLiteral(TALLYRIG_TEST_SOURCE_DIR "/devbridge/test/mcp-agent.mjs"), bridge.folder()});
        QVERIFY(agent.waitForFinished(30000));
        QVERIFY2(agent.exitCode() == 0, agent.readAll().constData());
        QTRY_COMPARE_WITH_TIMEOUT(model.report()->status, ReportStatus::review, 10000);
        QCOMPARE(ReportStatus::titles.value(model.report()->status), QStringLiteral("Ready to review"));
    }

private:
    // A model that has sent one report to `bridge` and polls it; it lives until the next call.
    SimulatorPanelModel& sendFrom(ReferenceBridge& bridge) {
        m_model.reset();
        m_store = std::make_unique<TempSettings>(bridge.port());
        m_tool = std::make_unique<FakeSimulatorTool>(FakeSimulatorTool::device(listing(), png(1179, 2556)));
        PanelTimings timings;
        timings.previewDelay = 50ms;
        timings.fastPoll = 20ms;
        timings.slowPoll = 200ms;
        m_model = std::make_unique<SimulatorPanelModel>(*m_tool, *m_store->settings, timings);
        m_model->setVisible(true);
        m_model->select({pick()});
        if (!QTest::qWaitFor([&] { return m_model->draft().has_value(); }, 5000))
            qFatal("no draft");
        m_model->setComment(QStringLiteral("Make the title larger"));
        m_model->send();
        if (!QTest::qWaitFor([&] { return !m_model->sending() && m_model->report(); }, 10000))
            qFatal("not sent: %s", qPrintable(m_model->error().value_or(QString())));
        m_model->startPolling();
        return *m_model;
    }

    std::unique_ptr<TempSettings> m_store;
    std::unique_ptr<FakeSimulatorTool> m_tool;
    std::unique_ptr<SimulatorPanelModel> m_model;
};

// The report\'s pictures are drawn with the desktop\'s fonts.
QTEST_MAIN(PanelBridgeTest)
#include "tst_panelbridge.moc"
