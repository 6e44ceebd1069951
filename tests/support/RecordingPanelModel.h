#pragma once

#include "simulator/PanelLink.h"

#include <QStringList>

#include <functional>
#include <optional>

// The panel's model as the controller sees it, writing down what it is told, in order. Like the real
// model it takes note of a value only when it changes.
class RecordingPanelModel final : public PanelModelInput {
public:
    PanelControl* controller = nullptr;
    bool trusted = false;
    bool escapeOnlyHere = false;
    bool visible = false;
    bool picking = false;
    QString deviceTitle;
    std::optional<std::vector<PickResult>> selected;
    std::optional<QString> highlighted;
    int pollingStarts = 0;
    std::optional<bool> visibleWhenPollingStarted;
    QStringList log;
    // Called after a pick was taken down, for tests that look at the desktop at that moment.
    std::function<void()> onSelect;

    void setController(PanelControl* to) override { controller = to; }
    void setTrusted(bool to) override { change("trusted", trusted, to); }
    void setEscapeOnlyHere(bool to) override { escapeOnlyHere = to; }
    void setVisible(bool to) override { change("visible", visible, to); }
    void setDeviceTitle(const QString& to) override {
        if (deviceTitle != to)
            log.append(QStringLiteral("deviceTitle ") + to);
        deviceTitle = to;
    }
    void setPicking(bool to) override { change("picking", picking, to); }
    void setHighlighted(const std::optional<QString>& name) override { highlighted = name; }
    void select(const std::vector<PickResult>& pins) override {
        selected = pins;
        QStringList names;
        for (const PickResult& pin : pins)
            names.append(pin.identifier.value_or(pin.role));
        log.append(QStringLiteral("select ") + names.join(QLatin1Char(' ')));
        if (onSelect)
            onSelect();
    }
    std::optional<TargetingOffer> offer;
    void setOffer(const std::optional<TargetingOffer>& to) override { offer = to; }
    bool followsWindow = false;
    void setFollowsWindow(bool to) override { followsWindow = to; }
    QStringList told;
    void tell(const QString& problem) override { told.append(problem); }
    bool reading = false;
    void setReading(bool to) override { change("reading", reading, to); }
    void startPolling() override {
        ++pollingStarts;
        visibleWhenPollingStarted = visible;
    }

private:
    void change(const char* name, bool& value, bool to) {
        if (value != to)
            log.append(QLatin1String(name) + (to ? QLatin1String(" true") : QLatin1String(" false")));
        value = to;
    }
};
