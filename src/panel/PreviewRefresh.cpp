#include "panel/PreviewRefresh.h"

#include "foundation/Detach.h"
#include "panel/SimulatorPanelModel.h"

PreviewRefresh::PreviewRefresh(SimulatorPanelModel& model, std::chrono::milliseconds delay)
    : QObject(&model), m_model(model) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(delay);
    connect(&m_timer, &QTimer::timeout, this, [this] { detach(m_model.refreshPacket(), this); });
    connect(&model, &SimulatorPanelModel::refreshKeyChanged, this, [this] {
        if (m_active)
            restart();
    });
}

void PreviewRefresh::setActive(bool active) {
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        restart();
    else
        m_timer.stop();
}

void PreviewRefresh::restart() {
    m_timer.start();
}
