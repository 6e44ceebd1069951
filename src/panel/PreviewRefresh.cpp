#include "panel/PreviewRefresh.h"

#include "foundation/Detach.h"
#include "panel/PanelComposing.h"

PreviewRefresh::PreviewRefresh(PanelComposing& composing, std::chrono::milliseconds delay, QObject* parent)
    : QObject(parent), m_composing(composing) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(delay);
    connect(&m_timer, &QTimer::timeout, this, [this] { detach(m_composing.refreshPacket(), this); });
    connect(&composing, &PanelComposing::refreshKeyChanged, this, [this] {
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
