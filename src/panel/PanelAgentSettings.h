#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

#include <nlohmann/json.hpp>

#include <optional>

class SimulatorPanelModel;

// The panel model's part that keeps the bridge's agent settings (autoDispatch, autoRelaunch) as
// the bridge last answered them, and asks the bridge to change them.
class PanelAgentSettings {
public:
    // The part lives and dies with the model.
    explicit PanelAgentSettings(SimulatorPanelModel& model) : m_model(model) {}

    std::optional<bool> autoDispatch() const { return m_autoDispatch; }
    std::optional<bool> autoRelaunch() const { return m_autoRelaunch; }
    void setAutoDispatch(std::optional<bool> value);
    void setAutoRelaunch(std::optional<bool> value);

    // Asks the bridge to change one setting; the values follow the bridge's answer.
    void change(const QString& key, bool value);
    // Takes both settings from a settings answer; anything but an object changes nothing.
    void apply(const nlohmann::json& answer);

private:
    QCoro::Task<> ask(QString key, bool value);

    SimulatorPanelModel& m_model;
    std::optional<bool> m_autoDispatch;
    std::optional<bool> m_autoRelaunch;
};
