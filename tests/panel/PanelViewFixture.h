#pragma once

#include "foundation/Settings.h"
#include "panel/SimulatorPanelView.h"
#include "support/DrivenPanelModel.h"
#include "support/FakeSimulatorTool.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A panel on screen over a model the test drives, talking to a loopback server that answers
// what the test says and remembers what it was asked.
struct PanelViewFixture {
    QTemporaryDir dir;
    Settings settings{dir.filePath(QStringLiteral("settings.json"))};
    FakeSimulatorTool tool;
    TestHttpServer bridge{[](const QByteArray&, const QString&) { return TestHttpServer::json("{}"); }};
    DrivenPanelModel model;
    CountingPanelControl control;
    std::unique_ptr<SimulatorPanelView> view;
    int raised = 0; // the main window's raisings

    explicit PanelViewFixture(bool hasRuntime = true, PanelViewTimings timings = {})
        : model(tool, settings, PanelTimings{std::chrono::milliseconds(30)}) {
        bridge.listen();
        settings.setBridgePort(bridge.port());
        model.setController(&control);
        model.setRaiseMainWindow([this] { ++raised; });
        view = std::make_unique<SimulatorPanelView>(model, settings, hasRuntime, std::move(timings));
    }

    bool show() {
        view->show();
        view->activateWindow();
        return QTest::qWaitForWindowExposed(view.get()) && QTest::qWaitForWindowActive(view.get());
    }

    template <class T = QWidget> T* part(const char* name) const {
        return view->findChild<T*>(QLatin1String(name));
    }

    // Visible on the panel, whether or not the panel itself is on screen.
    static bool shows(const QWidget* widget) { return widget && widget->isVisibleTo(widget->window()); }

    // Requests the server received for exactly this path.
    int requests(const QString& path) const { return int(bridge.paths().count(path)); }
};
