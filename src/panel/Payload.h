#pragma once

#include "simulator/PickResult.h"
#include "simulator/Simctl.h"

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

// A picked element with its device, mapping and screenshot, awaiting the user's request. Made
// whole once the screenshot has been taken and never changed afterwards.
struct Draft {
    PickResult pick;
    Simctl::Device device;
    DeviceMapping mapping;
    QByteArray png;
};
bool operator==(const Draft& a, const Draft& b);

// The click and the element's frame in device points, relative to the device screen's top-left
// corner, each number rounded to one decimal place.
struct DevicePlacement {
    QPointF touch;
    std::optional<QRectF> frame; // none when the pick found no element
    // False when a number is NaN or infinite (a device screen without width): JSON cannot carry it.
    bool isFinite() const;
};
DevicePlacement place(const Draft& draft);

// v rounded to one decimal place, halves away from zero (also below zero).
double roundToTenth(double v);

// A JSON object sent as a request body. The screenshot stays PNG bytes (shared with the draft)
// until the body is written, so its base64 text exists once, inside the request.
struct ReportBody {
    nlohmann::json object = nlohmann::json::object();
    std::optional<QByteArray> screenshotPng; // written as "screenshotPNG" in base64

    // Compact JSON text. Throws Failure with the serialiser's description.
    QByteArray compact() const;
    // The whole body as one value, screenshot included.
    nlohmann::json value() const;
};

// The report body of a draft with the user's request and category.
ReportBody payload(const Draft& draft, const QString& comment, const std::optional<QString>& category,
                   bool screenshot);
