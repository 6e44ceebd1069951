#pragma once

#include "PanelFixtures.h"
#include "panel/SimulatorPanelModel.h"
#include "support/Settle.h"
#include "support/TestHttpServer.h"

#include <QHash>
#include <QTest>

#include <functional>
#include <memory>

// A model with a fake simulator tool and a scripted bridge that answers each path as the test says
// (404 with an "error" text for anything it was not told).
struct PanelRig {
    using Reply = TestHttpServer::Reply;

    static PanelTimings timings() {
        using namespace std::chrono_literals;
        PanelTimings t;
        t.previewDelay = 50ms;
        t.fastPoll = 30ms;
        t.slowPoll = 60s;
        t.requestTimeout = 2s;
        return t;
    }

    static QByteArray screenshot() {
        static const QByteArray bytes = PanelFixtures::png(1179, 2556);
        return bytes;
    }

    QHash<QString, Reply> answers;
    // Runs as a request arrives, before it is answered: what happens while the model waits.
    std::function<void(const QString& path)> onRequest;
    TestHttpServer server;
    std::unique_ptr<PanelFixtures::TempSettings> store;
    FakeSimulatorTool tool;
    std::unique_ptr<SimulatorPanelModel> model;

    explicit PanelRig(PanelTimings t = timings())
        : server([this](const QByteArray&, const QString& path) {
              if (onRequest)
                  onRequest(path);
              return answers.value(path, TestHttpServer::json(R"({"error":"Nothing here"})", 404));
          }) {
        server.listen();
        store = std::make_unique<PanelFixtures::TempSettings>(server.port());
        tool.setAnswer(FakeSimulatorTool::device(PanelFixtures::listing(), screenshot()));
        model = std::make_unique<SimulatorPanelModel>(tool, *store->settings, t);
        answers[QStringLiteral("/api/settings")] =
            TestHttpServer::json(R"({"autoDispatch":true,"autoRelaunch":true})");
    }

    void answer(const QString& path, const QByteArray& json, int status = 200) {
        answers[path] = TestHttpServer::json(json, status);
    }

    // Captures the fixture's pick (or these pins) into a draft.
    bool capture(const std::vector<PickResult>& pins = {PanelFixtures::pick()}) {
        model->select(pins);
        return QTest::qWaitFor([this] { return model->draft().has_value() && !model->capturing(); }, 5000);
    }

    // Makes the model follow a report through one pass that adopts it.
    bool follow(const QString& id, const QString& status) {
        model->setVisible(true);
        answer(QStringLiteral("/api/reports"),
               QStringLiteral(
                   R"([{"id":"%1","status":"%2","createdAt":"2024-05-01T09:00:00.000Z","comment":"Bigger"}])")
                   .arg(id, status)
                   .toUtf8());
        answers.remove(QStringLiteral("/status?id=") + id);
        settle(model->poll());
        return model->report() && model->report()->id == id;
    }
};
