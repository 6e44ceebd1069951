#pragma once

#include "foundation/BridgePort.h"

#include <QString>

#include <optional>

// The repository's "tallyrig.config.json": where it is, and the one member the app reads.
namespace ProjectConfiguration {

inline const QString fileName = QStringLiteral("tallyrig.config.json");

// The file in the opened folder or the nearest folder above it, never above the repository root
// (the nearest folder with a ".git" entry); none when there is none.
std::optional<QString> find(const QString& folder);

// The file's "port" when it is an integer, whatever its value; 4747 for a missing, unreadable or
// malformed file or member.
BridgePort port(const QString& folder);

} // namespace ProjectConfiguration
