#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class PanelComposing;

// The composer's preview refresh: while active, the packet is fetched one delay after the
// composer comes on screen and after every change of the refresh key; a change during
// the delay starts it again, so typing sends one request after the last keystroke.
class PreviewRefresh : public QObject {
    Q_OBJECT
public:
    PreviewRefresh(PanelComposing& composing, std::chrono::milliseconds delay, QObject* parent = nullptr);

    // The composer calls this as it comes on screen (true) and leaves it (false).
    void setActive(bool active);
    bool isActive() const { return m_active; }

private:
    void restart();

    PanelComposing& m_composing;
    QTimer m_timer;
    bool m_active = false;
};
