#pragma once

#include "platform/Accessibility.h"

#include <QRectF>
#include <QString>

#include <optional>

// The Simulator's device window, as one look at the desktop found it.
struct SimulatorWindow {
    qint32 pid = 0;
    // Top-left global coordinates, title bar and device chrome included, as the window list has it.
    QRectF frame;
    // The accessibility title, or "Simulator" when access is not granted.
    QString title;
    std::optional<quint32> number;
    // Null when access is not granted.
    platform::AXElementRef axWindow;

    // "iPhone 15 Pro – iOS 17.2": the text before the first " – ", or the whole title.
    QString deviceName() const;
    // The text between the first and second " – "; none when the title has no separator.
    std::optional<QString> runtime() const;
};
