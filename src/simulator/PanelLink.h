#pragma once

#include "simulator/PickResult.h"

#include <QString>

#include <optional>
#include <vector>

// The panel controller and the panel's model call each other; each sees the other only through
// one of these, so the targeting code never depends on the report workflow.

// What the panel's controls ask of the controller that keeps the panel beside the Simulator.
class PanelControl {
public:
    virtual void togglePick() = 0;
    virtual void requestAccess() = 0;

protected:
    ~PanelControl() = default;
};

// What the controller tells the panel's model, and asks of it.
class PanelModelInput {
public:
    // The controller owns the model, so the model never outlives it.
    virtual void setController(PanelControl* controller) = 0;
    virtual void setTrusted(bool trusted) = 0;
    // Whether Escape is heard only in our own windows: the Escape watch needs accessibility access
    // that the application lacks.
    virtual void setEscapeOnlyHere(bool onlyHere) = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void setDeviceTitle(const QString& title) = 0;
    virtual void setPicking(bool picking) = 0;
    // While targeting: the name of the element the highlight is on, as its tag shows it; none
    // when it is on nothing.
    virtual void setHighlighted(const std::optional<QString>& name) = 0;
    // Targeting ended with these pins, one at least, in the order picked.
    virtual void select(const std::vector<PickResult>& pins) = 0;
    virtual void startPolling() = 0;

protected:
    ~PanelModelInput() = default;
};
