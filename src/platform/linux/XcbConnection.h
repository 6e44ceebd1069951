#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

class QSocketNotifier;

namespace platform::x11 {

// The application's one connection of its own to the X server (the display named by $DISPLAY),
// whatever platform plugin the toolkit runs on, shared by every Linux port. Events are read on the
// UI thread as they arrive and handed to every listener. A connection that breaks (the server
// restarts, the display closes) stops being read and is reported once.
class XcbConnection {
public:
    // The shared connection, made on first use and closed with its last user.
    static std::shared_ptr<XcbConnection> shared();

    XcbConnection();
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    int screen() const { return m_screen; }
    // Connected, with a screen, and no error since.
    bool usable() const;
    // Why it is not usable, for a developer; empty while it is.
    QString problem() const;

    xcb_atom_t atom(const QByteArray& name);

    using Listener = std::function<void(const xcb_generic_event_t&)>;
    // Until the returned handle is destroyed, `listener` sees every event read.
    std::shared_ptr<void> listen(Listener listener);

    // Handles every event that has arrived. Replies carry events into the library's queue, where
    // the socket notifier cannot see them, so whoever waited for a reply calls this (or schedules it).
    void drain();
    void scheduleDrain();

private:
    void read(bool fromSocket);
    void lost();

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    int m_screen = 0;
    QString m_problem;
    bool m_lostReported = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QObject m_context;
    std::vector<std::weak_ptr<Listener>> m_listeners;
    bool m_drainScheduled = false;
};

} // namespace platform::x11
