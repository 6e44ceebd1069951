#include "simulator/PickSession.h"

#include "simulator/AX.h"
#include "simulator/PickOverlay.h"

PickSession::PickSession(platform::TargetingPorts ports, platform::WindowSystem& windows,
                         const SimulatorWindow& window, QObject* parent)
    : QObject(parent), m_ports(ports), m_windows(windows), m_window(window),
      m_overlay(new PickOverlay(ports.accessibility, windows, window, this)) {
    // The overlay's callbacks run inside its events: the session only passes them on.
    m_overlay->onPick = [this](const PickResult& pick) { emit finished(pick); };
    m_overlay->onCancel = [this] { emit cancelled(); };
}

PickSession::~PickSession() = default;

void PickSession::start() {
    if (const platform::AXElementRef application =
            m_ports.accessibility.application(m_window.pid, AX::messagingTimeout))
        application->setAttribute(QStringLiteral("AXFrontmost"), true);
    if (m_window.axWindow)
        m_window.axWindow->performAction(QStringLiteral("AXRaise"));
    m_overlay->show();
}

void PickSession::end() {
    m_overlay->close();
}

void PickSession::follow(const SimulatorWindow& window) {
    m_window = window;
    m_overlay->follow(window);
}
