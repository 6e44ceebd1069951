#include "foundation/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Bundle {

std::optional<QString> locationForExecutable(const QString& executablePath) {
    const QString real = QFileInfo(executablePath).canonicalFilePath();
    if (real.isEmpty())
        return std::nullopt;
    QDir dir = QFileInfo(real).dir(); // Contents/MacOS
    if (!dir.cdUp() || !dir.cdUp())   // Contents, then the bundle
        return std::nullopt;
    return dir.absolutePath();
}

std::optional<QString> location() {
    return locationForExecutable(QCoreApplication::applicationFilePath());
}

std::optional<QString> resourceFolder() {
    const auto bundle = location();
    if (!bundle)
        return std::nullopt;
    return *bundle + QStringLiteral("/Contents/Resources");
}

} // namespace Bundle
