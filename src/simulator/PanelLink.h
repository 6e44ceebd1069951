#pragma once

#include "simulator/PickResult.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The panel controller and the panel's model call each other; each sees the other only through
// one of these, so the targeting code never depends on the report workflow.

// A question the panel puts to the user for targeting, answered with one of its two buttons.
struct TargetingOffer {
    QString text;    // what is wrong, and what saying yes will change
    QString accept;  // the button that says yes
    QString decline; // the button that says no
    bool operator==(const TargetingOffer&) const = default;
};

// What the panel's controls ask of the controller that keeps the panel beside the Simulator.
class PanelControl {
public:
    virtual void togglePick() = 0;
    virtual void requestAccess() = 0;
    // The answer to the offer the panel shows.
    virtual void answerOffer(bool accepted) { (void)accepted; }
    // "Target Window…": the next click on a window makes it the target; false where no click can
    // be caught.
    virtual bool chooseTarget() { return false; }
    // "Follow the Simulator".
    virtual void followSimulator() {}
    // The followed desktop window as it shows now, as PNG; empty for the Simulator.
    virtual QByteArray targetPicture() { return {}; }

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
    // While targeting waits for the screen's elements to be read.
    virtual void setReading(bool reading) { (void)reading; }
    // Why targeting cannot do all it should, for the panel's error line.
    virtual void tell(const QString& problem) { (void)problem; }
    // A question for the user, or none.
    virtual void setOffer(const std::optional<TargetingOffer>& offer) { (void)offer; }
    // Whether the panel follows a desktop window the user chose rather than the Simulator.
    virtual void setFollowsWindow(bool window) { (void)window; }

protected:
    ~PanelModelInput() = default;
};
