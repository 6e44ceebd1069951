#include "foundation/PlatformText.h"

namespace PlatformText {

QString thisComputer() {
#ifdef Q_OS_MACOS
    return QStringLiteral("this Mac");
#else
    return QStringLiteral("this computer");
#endif
}

QString shortcutHint(const QKeySequence& keys) {
    return QLatin1Char('(') + keys.toString(QKeySequence::NativeText) + QLatin1Char(')');
}

} // namespace PlatformText
