#include "foundation/Compositing.h"

#include <QByteArray>
#include <QGuiApplication>
#ifdef TALLYRIG_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#endif

#ifdef TALLYRIG_HAVE_XCB
#include <cstdlib>
#include <xcb/xcb.h>
#endif

namespace Compositing {

namespace {

#ifdef TALLYRIG_HAVE_XCB
// The X screen of DISPLAY (":0.1" is screen 1), as the connection was opened for it.
int displayScreen() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (colon < 0 || dot < 0)
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok && screen >= 0 ? screen : 0;
}

// A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs.
bool x11CompositorRunning() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(displayScreen());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner)
        return false;
    const bool owned = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}
#endif

} // namespace

bool available() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("cocoa") || platform == QLatin1String("windows") ||
        platform.startsWith(QLatin1String("wayland")))
        return true;
#ifdef TALLYRIG_HAVE_XCB
    if (platform == QLatin1String("xcb"))
        return x11CompositorRunning();
#endif
    // Offscreen, minimal and anything unknown: assume no compositing, which always looks right.
    return false;
}

} // namespace Compositing
