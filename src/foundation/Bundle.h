#pragma once

#include <QString>

#include <optional>

// The application bundle: Tallyrig.app/Contents/{MacOS,Helpers,Resources}, the same layout on
// every platform.
namespace Bundle {

// The bundle folder, three levels above the executable's real path (…/Tallyrig.app), so a copied
// or linked bundle still finds its own helpers.
std::optional<QString> location();
std::optional<QString> locationForExecutable(const QString& executablePath);

// <bundle>/Contents/Resources, when the bundle is known.
std::optional<QString> resourceFolder();

} // namespace Bundle
