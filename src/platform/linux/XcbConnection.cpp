#include "platform/linux/XcbConnection.h"

#include "platform/linux/XcbReply.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace platform::x11 {

std::shared_ptr<XcbConnection> XcbConnection::shared() {
    static std::weak_ptr<XcbConnection> instance;
    std::shared_ptr<XcbConnection> connection = instance.lock();
    if (!connection) {
        connection = std::make_shared<XcbConnection>();
        instance = connection;
    }
    return connection;
}

XcbConnection::XcbConnection() {
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        m_problem = QStringLiteral("There is no X display: DISPLAY is not set. Other applications' windows "
                                   "are seen through X11 (XWayland on a Wayland desktop).");
        return;
    }
    m_connection = xcb_connect(nullptr, &m_screen);
    if (xcb_connection_has_error(m_connection)) {
        m_problem =
            QStringLiteral("Cannot connect to the X display %1.").arg(QString::fromLocal8Bit(display));
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < m_screen && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        m_problem = QStringLiteral("The X display %1 has no screen.").arg(QString::fromLocal8Bit(display));
        return;
    }
    m_root = screens.data->root;
    // Events are read as they come only where there is an event loop to read them.
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        m_notifier =
            std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &m_context, [this] { read(true); });
    }
}

XcbConnection::~XcbConnection() {
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool XcbConnection::usable() const {
    return m_connection && m_root != XCB_NONE && !xcb_connection_has_error(m_connection);
}

QString XcbConnection::problem() const {
    if (m_connection && m_root != XCB_NONE && xcb_connection_has_error(m_connection))
        return QStringLiteral("The connection to the X display was lost.");
    return m_problem;
}

xcb_atom_t XcbConnection::atom(const QByteArray& name) {
    if (!usable())
        return XCB_ATOM_NONE;
    const auto answer = own(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()), nullptr));
    return answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::shared_ptr<void> XcbConnection::listen(Listener listener) {
    auto held = std::make_shared<Listener>(std::move(listener));
    std::erase_if(m_listeners, [](const auto& weak) { return weak.expired(); });
    m_listeners.push_back(held);
    return held;
}

void XcbConnection::drain() {
    // What the socket holds the notifier reads as it comes; only what replies carried in waits.
    read(!m_notifier);
}

void XcbConnection::read(bool fromSocket) {
    m_drainScheduled = false;
    if (!m_connection || m_root == XCB_NONE)
        return;
    if (xcb_connection_has_error(m_connection)) {
        lost();
        return;
    }
    const auto next = [&] {
        return fromSocket ? xcb_poll_for_event(m_connection) : xcb_poll_for_queued_event(m_connection);
    };
    while (xcb_generic_event_t* raw = next()) {
        const auto event = own(raw);
        // A listener may end its own or another listener's watch.
        const std::vector<std::weak_ptr<Listener>> listeners = m_listeners;
        for (const auto& weak : listeners) {
            if (const auto listener = weak.lock())
                (*listener)(*event);
        }
    }
    if (xcb_connection_has_error(m_connection))
        lost();
}

void XcbConnection::scheduleDrain() {
    if (m_drainScheduled || !m_notifier)
        return;
    m_drainScheduled = true;
    QTimer::singleShot(0, &m_context, [this] { read(false); });
}

void XcbConnection::lost() {
    // A broken connection's socket stays readable for ever: reading on would spin.
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (std::exchange(m_lostReported, true))
        return;
    qWarning("Tallyrig: the connection to the X display was lost; the Simulator panel stops following "
             "the Simulator until Tallyrig starts again.");
}

} // namespace platform::x11
