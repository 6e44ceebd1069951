#pragma once

#include "simulator/PickResult.h"
#include "simulator/Simctl.h"

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>
#include <vector>

// The picked elements (pins) with their device, mapping and screenshot, awaiting the user's
// request. Made whole once the screenshot has been taken; only dropping a pin makes another.
struct Draft {
    // One to maximumPins, in the order picked; the first is the report's "element".
    std::vector<PickResult> pins;
    Simctl::Device device;
    DeviceMapping mapping;
    QByteArray png;

    const PickResult& pick() const { return pins.front(); }
    // The same draft without the pin at `index`; none when no pin is left.
    std::optional<Draft> without(std::size_t index) const;
};
bool operator==(const Draft& a, const Draft& b);

// A click and its element's frame in device points, relative to the device screen's top-left
// corner, each number rounded to one decimal place.
struct DevicePlacement {
    QPointF touch;
    std::optional<QRectF> frame; // none when the pick found no element
    // False when a number is NaN or infinite (a device screen without width): JSON cannot carry it.
    bool isFinite() const;
};
// The first pin's placement.
DevicePlacement place(const Draft& draft);
// Every pin's, in order. Each pin is placed on the device screen as it lay when it was picked.
std::vector<DevicePlacement> placeAll(const Draft& draft);

// v rounded to one decimal place, halves away from zero (also below zero).
double roundToTenth(double v);

// A report's pictures as the body carries them, base64 text made once per draft away from the UI
// thread, so that writing a body only copies them.
struct ReportPictures {
    QByteArray screenshot; // the draft's PNG
    QByteArray annotated;  // the PNG with the pins drawn on it
};

// A JSON object sent as a request body. The pictures stay outside the JSON value (shared, already
// in base64) until the body is written.
struct ReportBody {
    nlohmann::json object = nlohmann::json::object();
    std::optional<ReportPictures> pictures; // "screenshotPNG" and "annotatedScreenshotPNG"

    // Compact JSON text. Throws Failure with the serialiser's description.
    QByteArray compact() const;
    // The whole body as one value, pictures included.
    nlohmann::json value() const;
};

// The report body of a draft with the user's request and category, with the pictures for a
// submission, without them for the preview.
ReportBody payload(const Draft& draft, const QString& comment, const std::optional<QString>& category,
                   const std::optional<ReportPictures>& pictures);
