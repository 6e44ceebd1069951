#pragma once

#include "platform/Accessibility.h"
#include "simulator/AX.h"
#include "simulator/PickResult.h"
#include "simulator/SimulatorWindow.h"

#include <QPointF>
#include <QRectF>

#include <chrono>

// What lies under a point of the Simulator's device screen.
namespace ElementPicker {

// The element at `at` (top-left global coordinates) when `screen` contains the point; the empty
// result (role "Screen") for a point outside it, on the screen's background, or on any failure.
// Makes no accessibility request for a point outside the screen. Each read waits at most `timeout`.
PickResult element(platform::Accessibility& accessibility, const QPointF& at, const SimulatorWindow& in,
                   const QRectF& screen, std::chrono::milliseconds timeout = AX::messagingTimeout);

} // namespace ElementPicker
