#include "platform/linux/AtspiAccessibility.h"

#include "platform/linux/AtspiApplication.h"
#include "platform/linux/AtspiElement.h"
#include "platform/linux/AtspiProtocol.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace platform::atspi {

namespace {

// The bus launcher on the session bus: it tells where the accessibility bus is and whether
// accessibility is on.
constexpr std::chrono::milliseconds statusTimeout{250};

// Hears the bus launcher announce that accessibility was turned on or off.
class StatusWatch : public QObject {
    Q_OBJECT
public:
    bool changed = false;

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap&, const QStringList&) {
        if (interface == QLatin1String("org.a11y.Status"))
            changed = true;
    }
};

} // namespace

struct AtspiAccessibility::Impl {
    // The answer is kept this long, or until the bus launcher announces a change: a desktop whose
    // accessibility stays off costs no request per look.
    static constexpr qint64 trustLifetime = 5000; // milliseconds

    Windows windows;
    x11::DevicePixels pixels;
    std::shared_ptr<Services> services = std::make_shared<Services>();
    QString connectionName;
    int generation = 0;
    QString problem;
    QElapsedTimer asked; // valid while the last answer holds
    bool granted = false;
    StatusWatch watch;

    void listen() {
        QDBusConnection::sessionBus().connect(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                              propertiesInterface, QStringLiteral("PropertiesChanged"),
                                              &watch,
                                              SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    }

    static QDBusMessage busLauncher(const QString& interface, const QString& method,
                                    const QVariantList& arguments) {
        return call(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), interface, method,
                    arguments);
    }

    std::optional<bool> enabled() {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected()) {
            problem = QStringLiteral("There is no session D-Bus, so the accessibility bus cannot be found.");
            return std::nullopt;
        }
        const QDBusMessage reply =
            session.call(busLauncher(propertiesInterface, QStringLiteral("Get"),
                                     {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")}),
                         QDBus::Block, int(statusTimeout.count()));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            problem =
                QStringLiteral("The accessibility bus launcher (org.a11y.Bus, from at-spi2-core) does not "
                               "answer on the session bus.");
            return std::nullopt;
        }
        const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
        return value.metaType() == QMetaType::fromType<bool>() && value.toBool();
    }

    // The accessibility bus, connected on first use and again after it went away.
    std::optional<QDBusConnection> bus() {
        if (!connectionName.isEmpty()) {
            QDBusConnection existing(connectionName);
            if (existing.isConnected())
                return existing;
            QDBusConnection::disconnectFromBus(connectionName);
            connectionName.clear();
        }
        QString address = qEnvironmentVariable("AT_SPI_BUS_ADDRESS");
        if (address.isEmpty()) {
            const QDBusMessage reply = QDBusConnection::sessionBus().call(
                busLauncher(QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"), {}), QDBus::Block,
                int(statusTimeout.count()));
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                address = reply.arguments().constFirst().toString();
        }
        if (address.isEmpty()) {
            problem = QStringLiteral("The accessibility bus cannot be found.");
            return std::nullopt;
        }
        const QString name = QStringLiteral("tallyrig-atspi-%1").arg(++generation);
        QDBusConnection connection = QDBusConnection::connectToBus(address, name);
        if (!connection.isConnected()) {
            problem = QStringLiteral("Cannot connect to the accessibility bus at %1.").arg(address);
            QDBusConnection::disconnectFromBus(name);
            return std::nullopt;
        }
        connectionName = name;
        services->clear();
        return connection;
    }

    static QDBusMessage processOf(const QString& service) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        message.setArguments({service});
        return message;
    }

    static std::optional<qint32> pidIn(const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
            reply.arguments().constFirst().metaType() != QMetaType::fromType<uint>())
            return std::nullopt;
        return qint32(reply.arguments().constFirst().toUInt());
    }

    // The bus name under which the process serves its accessibility tree: the registry's list of
    // applications, each name's process asked of the bus once.
    std::optional<QString> serviceOf(QDBusConnection& bus, qint32 pid, int timeout) {
        if (const auto cached = services->serviceOf.find(pid); cached != services->serviceOf.end())
            return cached->second;
        const QDBusMessage request = QDBusMessage::createMethodCall(
            registryService, rootPath, accessibleInterface, QStringLiteral("GetChildren"));
        const QDBusMessage reply = bus.call(request, QDBus::Block, timeout);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return std::nullopt;
        const auto applications = objects(reply.arguments().constFirst());
        if (!applications)
            return std::nullopt;

        QHash<QString, qint32> known;
        std::vector<std::pair<QString, QDBusPendingCall>> asked;
        for (const ObjectRef& application : *applications) {
            if (const auto found = services->pidOf.constFind(application.service);
                found != services->pidOf.constEnd())
                known.insert(application.service, *found);
            else if (!known.contains(application.service))
                asked.emplace_back(application.service,
                                   bus.asyncCall(processOf(application.service), timeout));
        }
        for (auto& [service, call] : asked) {
            call.waitForFinished();
            if (const auto answer = pidIn(call.reply()))
                known.insert(service, *answer);
        }
        services->pidOf = known;
        for (const ObjectRef& application : *applications) {
            const auto found = known.constFind(application.service);
            if (found != known.constEnd() && *found == pid) {
                services->serviceOf[pid] = application.service;
                return application.service;
            }
        }
        return std::nullopt;
    }
};

AtspiAccessibility::AtspiAccessibility(Windows windows, x11::DevicePixels pixels)
    : d(std::make_unique<Impl>()) {
    d->windows = std::move(windows);
    d->pixels = std::move(pixels);
    d->listen();
}

AtspiAccessibility::~AtspiAccessibility() {
    if (!d->connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(d->connectionName);
}

bool AtspiAccessibility::isTrusted() {
    if (d->asked.isValid() && d->asked.elapsed() < Impl::trustLifetime &&
        !std::exchange(d->watch.changed, false))
        return d->granted && d->bus();
    d->asked.start();
    d->granted = false;
    const auto enabled = d->enabled();
    if (!enabled)
        return false;
    if (!*enabled) {
        d->problem = QStringLiteral(
            "Accessibility is turned off on this desktop (org.a11y.Status IsEnabled is false).");
        return false;
    }
    if (!d->bus())
        return false;
    d->problem.clear();
    d->granted = true;
    return true;
}

bool AtspiAccessibility::requestTrust() {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        session.call(Impl::busLauncher(propertiesInterface, QStringLiteral("Set"),
                                       {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                                        QVariant::fromValue(QDBusVariant(true))}),
                     QDBus::Block, int(statusTimeout.count()));
    }
    d->asked.invalidate();
    return isTrusted();
}

bool AtspiAccessibility::openSettings() {
    // The accessibility page of the settings of the desktops that have one.
    struct Settings {
        const char* desktop;
        const char* program;
        QStringList arguments;
    };
    const Settings known[] = {
        {"GNOME", "gnome-control-center", {QStringLiteral("universal-access")}},
        {"Unity", "gnome-control-center", {QStringLiteral("universal-access")}},
        {"Budgie", "gnome-control-center", {QStringLiteral("universal-access")}},
        {"KDE", "systemsettings", {QStringLiteral("kcm_access")}},
        {"KDE", "systemsettings5", {QStringLiteral("kcm_access")}},
        {"XFCE", "xfce4-accessibility-settings", {}},
        {"MATE", "mate-at-properties", {}},
        {"X-Cinnamon", "cinnamon-settings", {QStringLiteral("accessibility")}},
    };
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& desktop : desktops) {
        for (const Settings& settings : known) {
            if (desktop.compare(QLatin1String(settings.desktop), Qt::CaseInsensitive) != 0)
                continue;
            const QString program = QStandardPaths::findExecutable(QString::fromLatin1(settings.program));
            if (!program.isEmpty() && QProcess::startDetached(program, settings.arguments))
                return true;
        }
    }
    return false;
}

AXElementRef AtspiAccessibility::application(qint32 pid, std::chrono::milliseconds timeout) {
    auto bus = d->bus();
    if (!bus)
        return nullptr;
    const int milliseconds = int(std::max<qint64>(1, timeout.count()));
    const auto service = d->serviceOf(*bus, pid, milliseconds);
    if (!service)
        return nullptr;
    auto application = std::make_shared<Application>(
        Application{*bus, *service, pid, milliseconds, d->windows, d->services, d->pixels});
    return std::make_shared<Element>(std::move(application), rootPath, applicationRole);
}

AXElementRef AtspiAccessibility::elementAt(const AXElementRef& application, float x, float y) {
    auto* element = dynamic_cast<Element*>(application.get());
    if (!element || !element->isApplication() || !std::isfinite(x) || !std::isfinite(y))
        return nullptr;
    const QPointF device = d->pixels.toDevice(QPointF(x, y));
    if (!isCoordinate(device.x()) || !isCoordinate(device.y()))
        return nullptr;
    return element->at(int(std::floor(device.x())), int(std::floor(device.y())));
}

Published AtspiAccessibility::published(qint32 pid, std::chrono::milliseconds timeout) {
    const auto root = application(pid, timeout);
    auto* element = dynamic_cast<Element*>(root.get());
    return element ? element->published() : Published::Nothing;
}

bool AtspiAccessibility::askToPublish(qint32 pid, std::chrono::milliseconds timeout) {
    const auto root = application(pid, timeout);
    auto* element = dynamic_cast<Element*>(root.get());
    return element && element->askToPublish();
}

QString AtspiAccessibility::problem() {
    isTrusted();
    return d->problem;
}

} // namespace platform::atspi

#include "AtspiAccessibility.moc"
