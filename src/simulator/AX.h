#pragma once

#include "platform/Accessibility.h"

#include <QRectF>
#include <QString>

#include <chrono>
#include <optional>
#include <variant>

// Reading another application's accessibility attributes.
namespace AX {

// How long one read may wait for the Simulator before it counts as absent.
inline constexpr std::chrono::milliseconds messagingTimeout{250};

// The attribute as T (bool, double, QString, QPointF, QSizeF, AXElementRef, QList<AXElementRef>);
// none when it is missing, the application did not answer, or it holds another kind.
template <class T> std::optional<T> value(platform::AXElement& element, const QString& attribute) {
    std::optional<platform::AXValue> read = element.attribute(attribute);
    if (!read)
        return std::nullopt;
    if (T* held = std::get_if<T>(&*read))
        return std::move(*held);
    return std::nullopt;
}

// "AXPosition" and "AXSize" combined, top-left global coordinates; none when either is missing.
inline std::optional<QRectF> frame(platform::AXElement& element) {
    return element.frame();
}

} // namespace AX
