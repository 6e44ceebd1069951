#pragma once

#include <QDBusMessage>
#include <QHash>
#include <QList>
#include <QRect>
#include <QString>
#include <QVariant>

#include <optional>

// The pieces of AT-SPI's D-Bus protocol the accessibility port speaks, and readers of its answers
// that accept only the shape they expect.
namespace platform::atspi {

inline const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
inline const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
inline const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
inline const QString valueInterface = QStringLiteral("org.a11y.atspi.Value");
inline const QString applicationInterface = QStringLiteral("org.a11y.atspi.Application");
inline const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
inline const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
inline const QString nullPath = QStringLiteral("/org/a11y/atspi/null");
inline const QString registryService = QStringLiteral("org.a11y.atspi.Registry");

constexpr uint screenCoordinates = 0, windowCoordinates = 1;

// Role and state numbers.
constexpr uint dialogRole = 16, frameRole = 23, windowRole = 69, applicationRole = 75, documentWebRole = 95,
               staticRole = 116;
constexpr uint activeState = 1, enabledState = 8, iconifiedState = 15, sensitiveState = 24, showingState = 25;

// A bus name and an object path: where an accessible object lives.
struct ObjectRef {
    QString service;
    QString path;
};

// a(so)
std::optional<QList<ObjectRef>> objects(const QVariant& value);
// (so)
std::optional<ObjectRef> object(const QVariant& value);
// (iiii), refused when it could not be a rectangle on any screen.
std::optional<QRect> rect(const QVariant& value);
// The same check of the four numbers: far inside the int range, so that their sums are too.
std::optional<QRect> rect(qint64 x, qint64 y, qint64 width, qint64 height);
// au: a bit set of states in 32-bit words.
std::optional<quint64> stateSet(const QVariant& value);
std::optional<uint> number(const std::optional<QVariant>& value);
std::optional<QString> text(const std::optional<QVariant>& value);
// a{ss}: an object's attributes; refused when not that shape, cut short past what any object has.
std::optional<QHash<QString, QString>> attributeMap(const std::optional<QVariant>& value);

inline bool has(quint64 states, uint state) {
    return states & (quint64(1) << state);
}

inline bool isWindowRole(uint role) {
    return role == frameRole || role == windowRole || role == dialogRole;
}

// A coordinate of ours that the protocol can carry: far inside the int range.
bool isCoordinate(double value);

QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments = {});
QDBusMessage property(const QString& service, const QString& path, const QString& interface,
                      const QString& name);

} // namespace platform::atspi
