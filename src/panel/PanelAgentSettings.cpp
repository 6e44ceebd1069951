#include "panel/PanelAgentSettings.h"

#include "foundation/Detach.h"
#include "foundation/Failure.h"

#include <QPointer>

#include <utility>

namespace {

std::optional<bool> boolean(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

} // namespace

PanelAgentSettings::PanelAgentSettings(const BridgeApi::Client& bridge, QObject* parent)
    : QObject(parent), m_bridge(bridge) {}

void PanelAgentSettings::setAutoDispatch(std::optional<bool> value) {
    if (std::exchange(m_autoDispatch, value) != value)
        emit autoDispatchChanged(value);
}

void PanelAgentSettings::setAutoRelaunch(std::optional<bool> value) {
    if (std::exchange(m_autoRelaunch, value) != value)
        emit autoRelaunchChanged(value);
}

void PanelAgentSettings::change(const QString& key, bool value) {
    detach(ask(key, value), this);
}

QCoro::Task<> PanelAgentSettings::ask(QString key, bool value) {
    const QPointer<PanelAgentSettings> self(this);
    ReportBody body;
    body.object[key.toStdString()] = value;
    try {
        const nlohmann::json answer =
            co_await m_bridge.call(QStringLiteral("/api/settings"), std::move(body));
        if (self)
            apply(answer);
    } catch (const Failure& failure) {
        if (self)
            emit failed(failure.description());
    }
}

void PanelAgentSettings::apply(const nlohmann::json& answer) {
    if (!answer.is_object())
        return;
    setAutoDispatch(boolean(answer, "autoDispatch"));
    setAutoRelaunch(boolean(answer, "autoRelaunch"));
}
