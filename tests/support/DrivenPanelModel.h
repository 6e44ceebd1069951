#pragma once

#include "panel/SimulatorPanelModel.h"
#include "simulator/PanelLink.h"
#include "support/TestPng.h"

#include <QBuffer>
#include <QImage>

// The panel's model with its state writers open, so that view tests and pictures put the panel
// in any state directly, without a bridge or a simulator.
class DrivenPanelModel : public SimulatorPanelModel {
public:
    using SimulatorPanelModel::setActing;
    using SimulatorPanelModel::setAutoDispatch;
    using SimulatorPanelModel::setAutoRelaunch;
    using SimulatorPanelModel::setCapturing;
    using SimulatorPanelModel::setDraft;
    using SimulatorPanelModel::setError;
    using SimulatorPanelModel::setOffline;
    using SimulatorPanelModel::setPacket;
    using SimulatorPanelModel::setReport;
    using SimulatorPanelModel::setSending;
    using SimulatorPanelModel::setStatus;
    using SimulatorPanelModel::SimulatorPanelModel;
};

// A panel controller that only counts what the panel asks of it.
class CountingPanelControl final : public PanelControl {
public:
    void togglePick() override { ++toggles; }
    void requestAccess() override { ++accessRequests; }
    int toggles = 0;
    int accessRequests = 0;
};

namespace PanelStates {

inline const QString deviceTitle = QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2");

// A real PNG of a device screen.
inline QByteArray png(int width = 1179, int height = 2556) {
    return testPng(width, height);
}

// The simulator tool's listing of the device the drafts below are on.
inline QByteArray listing() {
    return R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-17-2":[)"
           R"({"state":"Booted","udid":"5A1B2C3D-0000-4000-8000-000000000001","name":"iPhone 15 Pro"}]}})";
}

// A pick of an element on an iPhone 15 Pro's screen; `role` "Screen" and no frame when it hit none.
inline Draft draft(std::optional<QString> identifier = QStringLiteral("saveButton"),
                   std::optional<QString> label = QStringLiteral("Save"),
                   QString role = QStringLiteral("Button"),
                   QString deviceName = QStringLiteral("iPhone 15 Pro")) {
    PickResult pick;
    pick.identifier = std::move(identifier);
    pick.label = std::move(label);
    pick.role = std::move(role);
    if (pick.role != QLatin1String("Screen"))
        pick.frame = QRectF(410, 130, 100, 44);
    pick.point = QPointF(450, 150);
    pick.screen = QRectF(400, 120, 262, 568);
    pick.window.pid = 4242;
    pick.window.title = deviceName + QStringLiteral(" \u2013 iOS 17.2");
    pick.window.frame = QRectF(380, 60, 302, 660);
    const Simctl::Device device{QStringLiteral("5A1B2C3D-0000-4000-8000-000000000001"), deviceName,
                                QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-17-2")};
    return Draft{
        {pick}, device, DeviceMapping(pick.screen, QSizeF(1179, 2556), deviceName), QByteArray("PNG")};
}

} // namespace PanelStates
