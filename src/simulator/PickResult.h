#pragma once

#include "simulator/SimulatorWindow.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>

// The most elements one report can point at: pins numbered 1 to 9.
inline constexpr int maximumPins = 9;

// The element under a point of the device screen; everything in top-left global coordinates.
struct PickResult {
    std::optional<QString> identifier;
    std::optional<QString> label;
    QString role;                // "Button", "StaticText"…; "Screen" when no element was found
    std::optional<QRectF> frame; // as read, not clipped; none when no element was found
    QPointF point;
    QRectF screen;
    SimulatorWindow window;
};
