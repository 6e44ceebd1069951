#pragma once

#include "platform/Accessibility.h"
#include "simulator/AX.h"
#include "simulator/PickResult.h"
#include "simulator/SimulatorWindow.h"

#include <QPointF>
#include <QRectF>

#include <chrono>
#include <vector>

// What lies under a point of the Simulator's device screen.
namespace ElementPicker {

// The element at `at` (top-left global coordinates) when `screen` contains the point; the empty
// result (role "Screen") for a point outside it, on the screen's background, or on any failure.
// Makes no accessibility request for a point outside the screen. Each read waits at most `timeout`.
PickResult element(platform::Accessibility& accessibility, const QPointF& at, const SimulatorWindow& in,
                   const QRectF& screen, std::chrono::milliseconds timeout = AX::messagingTimeout);

// The app's elements on the device screen in reading order (top to bottom, then left to right), each
// as a pick at the middle of its visible part: what the keyboard moves through while targeting.
// Containers are passed through to what they hold; an element that is not a container is one stop,
// whatever it holds. The walk stops after `limit` elements or `budget` of time, whichever comes
// first, so a large or slow tree costs a bounded wait.
std::vector<PickResult> elements(const SimulatorWindow& in, const QRectF& screen, int limit = 400,
                                 std::chrono::milliseconds budget = std::chrono::milliseconds(1000));

// Reading order: rows from the top, each row from the left. Two frames share a row when the lower
// one's top lies above the middle of the row's first frame.
void sortForReading(std::vector<PickResult>& picks);

} // namespace ElementPicker
