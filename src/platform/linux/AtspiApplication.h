#pragma once

#include "platform/Unresponsive.h"
#include "platform/WindowList.h"
#include "platform/linux/DevicePixels.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace platform::atspi {

// What a toolkit's positions mean. Most give them on the screen in their own pixels: the X
// server's divided by the scale the application runs at. GTK 4 gives them relative to each window.
// The browsers take the point of a hit test in the X server's pixels, and Chromium (so Electron
// too) gives a web page's positions in them while its own controls' are in its pixels; it also
// publishes the runs of text inside an element as elements of their own. Firefox fills in a page's
// bounds and attributes when first asked for them, and answers that first request without.
struct Toolkit {
    bool windowRelative = false;
    bool wholeScales = false; // GTK scales by whole numbers only
    bool hitsInDevicePixels = false;
    bool chromium = false;
    bool gecko = false;
};

// Which process serves its accessibility tree under which bus name, and which of those stopped
// answering. Unique bus names are never reused, so an entry stays true until its name goes away;
// a call that finds it gone drops it. What is learnt of each name's toolkit stays with it.
class Services {
public:
    QHash<QString, qint32> pidOf;
    std::unordered_map<qint32, QString> serviceOf;
    QHash<QString, Toolkit> toolkitOf;
    // The scale of applications whose positions are on the screen, once one of their windows was
    // matched with an X window.
    QHash<QString, double> scaleOf;
    // When a look for the scale last found no window to match, so that it is not repeated at once.
    QHash<QString, QElapsedTimer> scaleMissed;
    // Names asked for the element at a point at least once.
    QSet<QString> hitTested;

    void forget(const QString& service);
    void clear();

    // A call to `service` went unanswered: see Unresponsive.
    void silenced(const QDBusConnection& bus, const QString& service, int timeout);
    bool isSilent(const QString& service) const { return m_silent.isSilent(service); }

private:
    Unresponsive m_silent{[this](const QString& service) { forget(service); }};
};

// What the accessibility side asks of the window system, in device pixels: AT-SPI can neither
// raise a window nor tell which of an application's windows is in front. Either may be empty.
struct Windows {
    // Brings the application's window nearest `near` (any of its windows when none) forward.
    std::function<bool(qint32 pid, std::optional<QRectF> near)> activate;
    // The window list, front to back.
    std::function<std::optional<std::vector<WindowEntry>>()> onScreen;
    // Where the content of each of the process's windows on screen lies (the client rectangle
    // without the shadows a toolkit draws around it), front to back.
    std::function<std::vector<QRect>(qint32 pid)> contents;
};

// One application element and everything reached from it: where to ask, and for how long.
struct Application {
    QDBusConnection bus;
    QString service;
    qint32 pid;
    int timeout; // milliseconds
    Windows windows;
    std::shared_ptr<Services> services;
    x11::DevicePixels pixels;

    QDBusMessage message(const QString& path, const QString& interface, const QString& method,
                         const QVariantList& arguments = {}) const;
    QDBusMessage property(const QString& path, const QString& interface, const QString& name) const;

    // The first argument of the answer, unwrapped from a property's variant; none on any failure.
    std::optional<QVariant> call(const QDBusMessage& message);
    // Sent together and answered in order, so that n calls cost one wait.
    std::vector<std::optional<QVariant>> callAll(const std::vector<QDBusMessage>& messages);

    // Read once per bus name: the Application interface's toolkit name and version.
    Toolkit toolkit();

private:
    std::optional<QVariant> take(const QDBusMessage& reply);
};

} // namespace platform::atspi
