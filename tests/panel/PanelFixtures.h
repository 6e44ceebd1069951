#pragma once

#include "foundation/Settings.h"
#include "panel/Payload.h"
#include "simulator/PickResult.h"
#include "support/FakeSimulatorTool.h"
#include "support/TestPng.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <memory>

namespace PanelFixtures {

inline const QString deviceName = QStringLiteral("iPhone 15 Pro");
inline const QString windowTitle = QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2");
inline const QString udid = QStringLiteral("5A1B2C3D-0000-4000-8000-000000000001");

// A real PNG of the given pixel size.
inline QByteArray png(int width, int height) {
    return testPng(width, height);
}

// The tool's listing with one booted device.
inline QByteArray listing() {
    return QStringLiteral(R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-17-2":[)"
                          R"({"state":"Booted","udid":"%1","name":"%2"}]}})")
        .arg(udid, deviceName)
        .toUtf8();
}

// A click at (512.34, 300.07) on a Save button, the device screen at (400, 120), 262 points wide:
// with a 1179-pixel-wide screenshot (393 device points) the factor is 1.5.
inline PickResult pick(std::optional<QRectF> frame = QRectF(410, 130, 100.03, 44)) {
    PickResult pick;
    pick.identifier = QStringLiteral("saveButton");
    pick.label = QStringLiteral("Save");
    pick.role = QStringLiteral("Button");
    pick.frame = frame;
    pick.point = QPointF(512.34, 300.07);
    pick.screen = QRectF(400, 120, 262, 568);
    pick.window.pid = 4242;
    pick.window.title = windowTitle;
    pick.window.frame = QRectF(380, 60, 302, 660);
    return pick;
}

inline Draft draft(std::vector<PickResult> pins, QByteArray bytes = QByteArray("PNG bytes")) {
    const QRectF screen = pins.front().screen;
    return Draft{
        std::move(pins),
        Simctl::Device{udid, deviceName, QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-17-2")},
        DeviceMapping(screen, QSizeF(1179, 2556), deviceName), std::move(bytes)};
}
inline Draft draft(const PickResult& picked = pick(), QByteArray bytes = QByteArray("PNG bytes")) {
    return draft(std::vector<PickResult>{picked}, std::move(bytes));
}

// A settings store in a temporary folder whose file holds `json`.
struct TempSettings {
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;

    explicit TempSettings(const QByteArray& json = "{}", int defaultPort = Settings::defaultBridgePort) {
        const QString path = dir.filePath(QStringLiteral("settings.json"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(json);
        file.close();
        settings = std::make_unique<Settings>(path, defaultPort);
    }
    explicit TempSettings(quint16 port)
        : TempSettings(QStringLiteral(R"({"bridgePort": %1})").arg(port).toUtf8()) {}
};

} // namespace PanelFixtures
