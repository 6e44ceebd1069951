#include "foundation/PlatformText.h"

#include <QByteArrayList>
#include <QtGlobal>

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

AccessSettings accessSettings() {
#ifdef Q_OS_MACOS
    const QString why = QStringLiteral(
        "Targeting reads the Simulator\u2019s accessibility elements, like Accessibility Inspector. ");
    return {why + QStringLiteral("Turn on Tallyrig in System Settings \u2192 Privacy & Security \u2192 "
                                 "Accessibility."),
            QStringLiteral("Open System Settings")};
#else
    // Accessibility Inspector is a macOS tool; what reads elements this way here is a screen reader.
    const QString why = QStringLiteral(
        "Targeting reads the Simulator\u2019s accessibility elements, as a screen reader does. ");
    // On Linux access is one switch for every application: the desktop's assistive technologies.
    struct Desktop {
        const char* name; // as XDG_CURRENT_DESKTOP lists it
        const char* place;
        const char* button;
    };
    static const Desktop desktops[] = {
        {"GNOME", "Settings \u2192 Accessibility", "Open Settings"},
        {"Unity", "Settings \u2192 Accessibility", "Open Settings"},
        {"Budgie", "Settings \u2192 Accessibility", "Open Settings"},
        {"KDE", "System Settings \u2192 Accessibility", "Open System Settings"},
        {"X-Cinnamon", "System Settings \u2192 Accessibility", "Open System Settings"},
        {"XFCE", "Settings Manager \u2192 Accessibility", "Open Settings Manager"},
        {"MATE", "Control Center \u2192 Assistive Technologies", "Open Control Center"},
    };
    const QByteArrayList current = qgetenv("XDG_CURRENT_DESKTOP").split(':');
    for (const QByteArray& name : current) {
        for (const Desktop& desktop : desktops) {
            if (name.compare(desktop.name, Qt::CaseInsensitive) == 0)
                return {why + QStringLiteral("Turn on assistive technologies in ") +
                            QString::fromUtf8(desktop.place) + QLatin1Char('.'),
                        QString::fromUtf8(desktop.button)};
        }
    }
    return {
        why + QStringLiteral("Turn on assistive technologies in your desktop\u2019s accessibility settings."),
        QStringLiteral("Open Accessibility Settings")};
#endif
}

} // namespace PlatformText
