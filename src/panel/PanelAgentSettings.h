#pragma once

#include "panel/BridgeApi.h"

#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

#include <nlohmann/json.hpp>

#include <optional>

// The bridge's agent settings (autoDispatch, autoRelaunch) as the bridge last answered them, and
// the requests that change them.
class PanelAgentSettings : public QObject {
    Q_OBJECT
public:
    // The bridge client outlives the part.
    explicit PanelAgentSettings(const BridgeApi::Client& bridge, QObject* parent = nullptr);

    std::optional<bool> autoDispatch() const { return m_autoDispatch; }
    std::optional<bool> autoRelaunch() const { return m_autoRelaunch; }
    void setAutoDispatch(std::optional<bool> value);
    void setAutoRelaunch(std::optional<bool> value);

    // Asks the bridge to change one setting; the values follow the bridge's answer.
    void change(const QString& key, bool value);
    // Takes both settings from a settings answer; anything but an object changes nothing.
    void apply(const nlohmann::json& answer);

signals:
    void autoDispatchChanged(const std::optional<bool>& value);
    void autoRelaunchChanged(const std::optional<bool>& value);
    // A change the bridge did not make, worded for the panel's error line.
    void failed(const QString& description);

private:
    QCoro::Task<> ask(QString key, bool value);

    const BridgeApi::Client& m_bridge;
    std::optional<bool> m_autoDispatch;
    std::optional<bool> m_autoRelaunch;
};
