#include "platform/linux/AtspiProtocol.h"

#include <QDBusArgument>
#include <QDBusObjectPath>

#include <algorithm>
#include <cmath>

namespace platform::atspi {

namespace {

// Farther from the origin than any screen reaches; a value past it is not a position of a window,
// and adding two of them still fits an int.
constexpr int farthest = 1 << 24;
// More attributes than a browser gives an element, and longer values than a class list has.
constexpr qsizetype mostAttributes = 256;
constexpr qsizetype longestAttribute = 4096;

bool isArgument(const QVariant& value, const char* signature) {
    return value.metaType() == QMetaType::fromType<QDBusArgument>() &&
           value.value<QDBusArgument>().currentSignature() == QLatin1String(signature);
}

ObjectRef readObject(const QDBusArgument& argument) {
    ObjectRef ref;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> ref.service >> path;
    argument.endStructure();
    ref.path = path.path();
    return ref;
}

} // namespace

std::optional<QList<ObjectRef>> objects(const QVariant& value) {
    if (!isArgument(value, "a(so)"))
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    QList<ObjectRef> list;
    argument.beginArray();
    while (!argument.atEnd())
        list.append(readObject(argument));
    argument.endArray();
    return list;
}

std::optional<ObjectRef> object(const QVariant& value) {
    if (!isArgument(value, "(so)"))
        return std::nullopt;
    return readObject(value.value<QDBusArgument>());
}

std::optional<QRect> rect(const QVariant& value) {
    if (!isArgument(value, "(iiii)"))
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    int x = 0, y = 0, width = 0, height = 0;
    argument.beginStructure();
    argument >> x >> y >> width >> height;
    argument.endStructure();
    return rect(x, y, width, height);
}

std::optional<QRect> rect(qint64 x, qint64 y, qint64 width, qint64 height) {
    if (std::abs(x) > farthest || std::abs(y) > farthest || width < 0 || height < 0 || width > farthest ||
        height > farthest)
        return std::nullopt;
    return QRect(int(x), int(y), int(width), int(height));
}

std::optional<quint64> stateSet(const QVariant& value) {
    QList<uint> words;
    if (isArgument(value, "au"))
        words = qdbus_cast<QList<uint>>(value.value<QDBusArgument>());
    else if (value.metaType() == QMetaType::fromType<QList<uint>>())
        words = value.value<QList<uint>>();
    else
        return std::nullopt;
    quint64 states = 0;
    for (qsizetype i = 0; i < std::min<qsizetype>(words.size(), 2); ++i)
        states |= quint64(words[i]) << (32 * i);
    return states;
}

std::optional<uint> number(const std::optional<QVariant>& value) {
    if (!value || value->metaType() != QMetaType::fromType<uint>())
        return std::nullopt;
    return value->toUInt();
}

std::optional<QString> text(const std::optional<QVariant>& value) {
    if (!value || value->metaType() != QMetaType::fromType<QString>())
        return std::nullopt;
    return value->toString();
}

std::optional<QHash<QString, QString>> attributeMap(const std::optional<QVariant>& value) {
    if (!value || !isArgument(*value, "a{ss}"))
        return std::nullopt;
    const QDBusArgument argument = value->value<QDBusArgument>();
    QHash<QString, QString> map;
    argument.beginMap();
    while (!argument.atEnd()) {
        QString key, text;
        argument.beginMapEntry();
        argument >> key >> text;
        argument.endMapEntry();
        if (map.size() < mostAttributes && key.size() <= longestAttribute)
            map.insert(key, text.left(longestAttribute));
    }
    argument.endMap();
    return map;
}

bool isCoordinate(double value) {
    return std::isfinite(value) && std::abs(value) <= farthest;
}

QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage property(const QString& service, const QString& path, const QString& interface,
                      const QString& name) {
    return call(service, path, propertiesInterface, QStringLiteral("Get"), {interface, name});
}

} // namespace platform::atspi
