#pragma once

#include "panel/Payload.h"

#include <QString>

#include <optional>

// A report as a prompt for an agent that has no bridge: Markdown text with the request, the device
// and screen, and every pin with its number, name, role, identifier, label, frame and touch point
// in device points, numbered as on the annotated screenshot that goes with it.
namespace Prompt {

QString markdown(const Draft& draft, const QString& comment, const std::optional<QString>& category);

} // namespace Prompt
