#pragma once

#include "platform/Accessibility.h"
#include "simulator/DeviceTree.h"
#include "simulator/PickResult.h"
#include "simulator/SimulatorWindow.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <memory>
#include <vector>

// Where targeting reads the elements of the followed screen: the window's own accessibility tree,
// a snapshot of the device's tree, or nothing. Every point and frame in and out is in top-left
// global coordinates; `screen` is where the device screen (or the window's content) lies now.
class ElementSource {
public:
    virtual ~ElementSource() = default;
    // The element at `at`; the empty result (role "Screen") outside `screen` or on nothing.
    virtual PickResult element(const QPointF& at, const SimulatorWindow& in, const QRectF& screen) = 0;
    // The screen's elements in reading order, each as a pick at the middle of its visible part.
    virtual std::vector<PickResult> elements(const SimulatorWindow& in, const QRectF& screen) = 0;
};

namespace ElementSources {

// Read live through the accessibility interface, each read a request to the window's application.
std::shared_ptr<ElementSource> live(platform::Accessibility& accessibility);
// Hit-tested here, against a tree in device points laid on a screen `points` large: no request to
// anyone per movement.
std::shared_ptr<ElementSource> snapshot(DeviceTree::Tree tree, QSizeF points);
// Every pick is the screen itself.
std::shared_ptr<ElementSource> none();

} // namespace ElementSources
