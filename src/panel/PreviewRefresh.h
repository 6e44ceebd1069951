#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class SimulatorPanelModel;

// The composer's preview refresh: while active, the packet is fetched one delay after the
// composer comes on screen and after every change of the model's refresh key; a change during
// the delay starts it again, so typing sends one request after the last keystroke.
class PreviewRefresh : public QObject {
    Q_OBJECT
public:
    explicit PreviewRefresh(SimulatorPanelModel& model, std::chrono::milliseconds delay);

    // The composer calls this as it comes on screen (true) and leaves it (false).
    void setActive(bool active);
    bool isActive() const { return m_active; }

private:
    void restart();

    SimulatorPanelModel& m_model;
    QTimer m_timer;
    bool m_active = false;
};
