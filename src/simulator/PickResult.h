#pragma once

#include "simulator/SimulatorWindow.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

// The most elements one report can point at: pins numbered 1 to 9.
inline constexpr int maximumPins = 9;

// What a desktop window's tree tells of an element beyond what the Simulator's does.
struct ElementDetails {
    std::optional<QString> description;
    QStringList states;
    // What a browser publishes of web content.
    std::optional<QString> tag;
    std::optional<QString> domId;
    std::optional<QString> classes;
    bool operator==(const ElementDetails&) const = default;
    bool hasDom() const { return tag || domId || classes; }
};

// The element under a point of the device screen; everything in top-left global coordinates.
struct PickResult {
    std::optional<QString> identifier;
    std::optional<QString> label;
    QString role;                // "Button", "StaticText"…; "Screen" when no element was found
    std::optional<QRectF> frame; // as read, not clipped; none when no element was found
    QPointF point;
    QRectF screen;
    SimulatorWindow window;
    ElementDetails details = {};
};
