#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

namespace platform {

class AXElement;
// Shared by every copy of the value that holds it; released with the last copy.
using AXElementRef = std::shared_ptr<AXElement>;

// What an accessibility attribute can hold, as the readers tell the kinds apart: a Boolean, a
// number, text, a point or size (positions and sizes in top-left global coordinates), an element,
// a list of elements, or a list of texts.
using AXValue =
    std::variant<bool, double, QString, QPointF, QSizeF, AXElementRef, QList<AXElementRef>, QStringList>;

// One element of another application's accessibility tree. Every call gives up after the
// messaging time-out of the application element it came from.
class AXElement {
public:
    virtual ~AXElement() = default;

    // None when the attribute is missing, unsupported, or the application does not answer.
    virtual std::optional<AXValue> attribute(const QString& name) = 0;
    // False when the element refuses or does not answer.
    virtual bool setAttribute(const QString& name, const AXValue& value) = 0;
    virtual bool performAction(const QString& name) = 0;

    // "AXPosition" and "AXSize" read in that order and combined; none when either is missing or
    // of another kind. A platform that answers both with one request overrides this.
    virtual std::optional<QRectF> frame() {
        const auto position = attribute(QStringLiteral("AXPosition"));
        if (!position || !std::holds_alternative<QPointF>(*position))
            return std::nullopt;
        const auto size = attribute(QStringLiteral("AXSize"));
        if (!size || !std::holds_alternative<QSizeF>(*size))
            return std::nullopt;
        return QRectF(std::get<QPointF>(*position), std::get<QSizeF>(*size));
    }
};

// How much of its accessibility tree an application publishes.
enum class Published {
    Nothing, // no tree, or it does not answer
    Windows, // its windows and nothing in them: some toolkits wait until they are asked for more
    Tree,
};

// The accessibility interface of the desktop.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this application may read other applications' elements; never asks the user.
    virtual bool isTrusted() = 0;
    // Asks for access the platform's way; true when access is granted afterwards.
    virtual bool requestTrust() = 0;
    // Opens the desktop's accessibility settings; false when none is known.
    virtual bool openSettings() = 0;

    // The application element of a process; every read on it and on the elements reached from it
    // gives up after `timeout`. Null when the process has no accessibility tree.
    virtual AXElementRef application(qint32 pid, std::chrono::milliseconds timeout) = 0;
    // The deepest element of the application at a point in top-left global coordinates; null on
    // any failure.
    virtual AXElementRef elementAt(const AXElementRef& application, float x, float y) = 0;

    // What the application of a process publishes, read through "AXWindows" and "AXChildren"; a
    // platform that tells it with fewer requests overrides this.
    virtual Published published(qint32 pid, std::chrono::milliseconds timeout) {
        const AXElementRef root = application(pid, timeout);
        const auto windows = root ? root->attribute(QStringLiteral("AXWindows")) : std::nullopt;
        const auto* list = windows ? std::get_if<QList<AXElementRef>>(&*windows) : nullptr;
        if (!list)
            return Published::Nothing;
        for (const AXElementRef& window : *list) {
            const auto children = window ? window->attribute(QStringLiteral("AXChildren")) : std::nullopt;
            const auto* held = children ? std::get_if<QList<AXElementRef>>(&*children) : nullptr;
            if (held && !held->isEmpty())
                return Published::Tree;
        }
        return Published::Windows;
    }
    // Asks the application to publish the rest of its tree, the way that needs no restart and
    // changes nothing beyond that application; false where none is known or it does not answer.
    // The tree takes a moment to appear: published() tells when it has.
    virtual bool askToPublish(qint32 pid, std::chrono::milliseconds timeout) {
        (void)pid;
        (void)timeout;
        return false;
    }
};

} // namespace platform
