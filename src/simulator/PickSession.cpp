#include "simulator/PickSession.h"

#include "foundation/Geometry.h"
#include "simulator/AX.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"

#include <QKeyEvent>
#include <QWindow>

#include <algorithm>

namespace {

bool sameElement(const PickResult& a, const PickResult& b) {
    return a.frame && a.frame == b.frame && a.role == b.role && a.identifier == b.identifier &&
           a.label == b.label;
}

} // namespace

PickSession::PickSession(platform::TargetingPorts ports, platform::WindowSystem& windows,
                         const SimulatorWindow& window, TargetScreen target, QObject* parent)
    : QObject(parent), m_ports(ports), m_windows(windows), m_window(window),
      m_overlay(new PickOverlay(std::move(target), windows, window, this)) {
    // The overlay's callbacks run inside its events: the session only passes them on.
    m_overlay->onPick = [this](const PickResult& element, bool more) { pick(element, more); };
    m_overlay->onCancel = [this] { emit cancelled(); };
    m_overlay->onKey = [this](QKeyEvent* event) { return key(event); };
    m_overlay->onHighlight = [this](const std::optional<QString>& name) { emit highlightChanged(name); };
}

PickSession::~PickSession() {
    if (m_panel && m_panel->windowHandle())
        m_panel->windowHandle()->removeEventFilter(this);
}

void PickSession::bringSimulatorForward() {
    if (const platform::AXElementRef application =
            m_ports.accessibility.application(m_window.pid, AX::messagingTimeout))
        application->setAttribute(QStringLiteral("AXFrontmost"), true);
    if (m_window.axWindow)
        m_window.axWindow->performAction(QStringLiteral("AXRaise"));
}

bool PickSession::simulatorInFront() const {
    const auto windows = m_ports.windows.onScreenWindows();
    if (!windows || !m_panel || !m_panel->windowHandle())
        return false;
    // The panel itself lies in front of the Simulator.
    const quint32 panel = m_windows.number(*m_panel->windowHandle());
    const auto front =
        std::find_if(windows->begin(), windows->end(), [&](const platform::WindowEntry& entry) {
            return entry.layer == 0 && entry.number != panel;
        });
    return front != windows->end() && front->ownerPid == m_window.pid;
}

void PickSession::start(FloatingPanel* panel) {
    bringSimulatorForward();
    m_overlay->show();
    if (!panel || !panel->isVisible())
        return;
    // The panel holds the keyboard while targeting: the keys move the highlight instead of
    // reaching the simulated app, and a screen reader hears the panel.
    m_panel = panel;
    panel->winId();
    panel->windowHandle()->installEventFilter(this);
    panel->becomeKey();
}

void PickSession::end(bool giveBack) {
    if (m_ended)
        return;
    m_ended = true;
    m_overlay->close();
    if (!m_panel)
        return;
    if (m_panel->windowHandle())
        m_panel->windowHandle()->removeEventFilter(this);
    // Targeting gave the Simulator the front; a cancelled one leaves it there with the keyboard,
    // unless something else took the keyboard from the panel meanwhile.
    if (giveBack && !m_keyboardTaken)
        bringSimulatorForward();
}

void PickSession::follow(const SimulatorWindow& window) {
    const bool moved = window.frame != m_window.frame;
    m_window = window;
    m_overlay->follow(window);
    if (!moved)
        return;
    // The elements' places moved with the window: read afresh on the next step.
    m_elements.reset();
    m_at.reset();
    showPins();
}

bool PickSession::eventFilter(QObject* watched, QEvent* event) {
    if (!m_panel || watched != m_panel->windowHandle())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return key(static_cast<QKeyEvent*>(event));
    case QEvent::FocusIn:
        m_keyboardHeld = true;
        break;
    case QEvent::FocusOut:
        if (m_keyboardHeld && !m_keyboardRetaken && simulatorInFront()) {
            // The Simulator focusing itself late, in answer to being brought forward: the keys
            // still belong to targeting. Once only, so that a Simulator that insists is left be.
            m_keyboardRetaken = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_ended && m_panel)
                        m_panel->becomeKey();
                },
                Qt::QueuedConnection);
            break;
        }
        m_keyboardTaken = m_keyboardTaken || m_keyboardHeld;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool PickSession::key(QKeyEvent* event) {
    if (m_ended || (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)))
        return false;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        emit cancelled();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Backtab:
        step(false);
        return true;
    case Qt::Key_Right:
    case Qt::Key_Down:
        step(true);
        return true;
    case Qt::Key_Tab:
        step(!shift);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const std::optional<PickResult>& highlighted = m_overlay->highlighted())
            pick(*highlighted, shift);
        else if (!m_pins.empty() && !shift)
            emit finished(m_pins);
        return true;
    default:
        return false;
    }
}

void PickSession::pick(const PickResult& element, bool more) {
    if (m_ended)
        return;
    const auto same = std::find_if(m_pins.begin(), m_pins.end(),
                                   [&](const PickResult& pin) { return sameElement(pin, element); });
    if (same != m_pins.end() && more) {
        // Pinned again: unpinned, so that a pin too many is undone the way it was made.
        m_pins.erase(same);
        showPins();
        return;
    }
    if (same == m_pins.end())
        m_pins.push_back(element);
    if (!more || int(m_pins.size()) >= maximumPins) {
        emit finished(m_pins);
        return;
    }
    showPins();
}

void PickSession::step(bool forwards) {
    if (!m_elements)
        m_elements = m_overlay->elements(m_window);
    const std::vector<PickResult>& elements = *m_elements;
    if (elements.empty())
        return;
    const std::size_t count = elements.size();
    // From where the highlight is, whether the keyboard or the mouse put it there.
    const std::optional<PickResult>& highlighted = m_overlay->highlighted();
    if (!highlighted || !m_at || !sameElement(elements[*m_at], *highlighted)) {
        m_at.reset();
        for (std::size_t i = 0; highlighted && i < count; ++i) {
            if (sameElement(elements[i], *highlighted)) {
                m_at = i;
                break;
            }
        }
    }
    if (!m_at)
        m_at = forwards ? 0 : count - 1;
    else
        m_at = forwards ? (*m_at + 1) % count : (*m_at + count - 1) % count;
    m_overlay->highlight(elements[*m_at]);
}

void PickSession::showPins() {
    const QRectF screen = m_overlay->screen();
    std::vector<PickDrawing::Pin> drawn;
    for (std::size_t i = 0; i < m_pins.size(); ++i) {
        const PickResult& pin = m_pins[i];
        // Where the pin lies now, should the window have moved since it was picked.
        const QPointF moved = screen.topLeft() - pin.screen.topLeft();
        PickDrawing::Pin mark;
        if (pin.frame)
            mark.frame = Geometry::intersection(*pin.frame, pin.screen).translated(moved);
        mark.point = pin.point + moved;
        mark.number = int(i) + 1;
        drawn.push_back(mark);
    }
    m_overlay->setPins(std::move(drawn));
}
