#include "platform/linux/AtspiApplication.h"

#include "platform/linux/AtspiProtocol.h"

#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace platform::atspi {

namespace {

bool isGone(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           error == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

bool isUnanswered(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           error == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
           error == QLatin1String("org.freedesktop.DBus.Error.TimedOut");
}

} // namespace

// ---- Services

void Services::forget(const QString& service) {
    pidOf.remove(service);
    toolkitOf.remove(service);
    scaleOf.remove(service);
    scaleMissed.remove(service);
    hitTested.remove(service);
    std::erase_if(serviceOf, [&](const auto& entry) { return entry.second == service; });
    m_silent.forget(service);
}

void Services::clear() {
    pidOf.clear();
    toolkitOf.clear();
    scaleOf.clear();
    scaleMissed.clear();
    hitTested.clear();
    serviceOf.clear();
    m_silent.clear();
}

void Services::silenced(const QDBusConnection& bus, const QString& service, int timeout) {
    m_silent.silenced(service, [bus, service, timeout](QObject* context, auto told) {
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection(bus).asyncCall(
                call(service, rootPath, accessibleInterface, QStringLiteral("GetRole")), timeout),
            context);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, told] {
            watcher->deleteLater();
            const QString error = watcher->reply().errorName();
            told(isUnanswered(error) ? Unresponsive::Answer::Silent
                 : isGone(error)     ? Unresponsive::Answer::Gone
                                     : Unresponsive::Answer::Answered);
        });
    });
}

// ---- Application

QDBusMessage Application::message(const QString& path, const QString& interface, const QString& method,
                                  const QVariantList& arguments) const {
    return atspi::call(service, path, interface, method, arguments);
}

QDBusMessage Application::property(const QString& path, const QString& interface, const QString& name) const {
    return atspi::property(service, path, interface, name);
}

std::optional<QVariant> Application::take(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage) {
        if (reply.arguments().isEmpty())
            return std::nullopt;
        const QVariant first = reply.arguments().constFirst();
        // Properties come wrapped in a variant.
        if (first.metaType() == QMetaType::fromType<QDBusVariant>())
            return first.value<QDBusVariant>().variant();
        return first;
    }
    if (isGone(reply.errorName()))
        services->forget(service);
    else if (isUnanswered(reply.errorName()))
        services->silenced(bus, service, timeout);
    return std::nullopt;
}

std::optional<QVariant> Application::call(const QDBusMessage& message) {
    if (services->isSilent(service))
        return std::nullopt;
    return take(bus.call(message, QDBus::Block, timeout));
}

std::vector<std::optional<QVariant>> Application::callAll(const std::vector<QDBusMessage>& messages) {
    std::vector<std::optional<QVariant>> answers(messages.size());
    if (services->isSilent(service) || messages.empty())
        return answers;
    if (messages.size() == 1) {
        answers[0] = call(messages[0]);
        return answers;
    }
    std::vector<QDBusPendingCall> pending;
    pending.reserve(messages.size());
    for (const QDBusMessage& message : messages)
        pending.push_back(bus.asyncCall(message, timeout));
    for (size_t i = 0; i < pending.size(); ++i) {
        pending[i].waitForFinished();
        answers[i] = take(pending[i].reply());
    }
    return answers;
}

} // namespace platform::atspi
