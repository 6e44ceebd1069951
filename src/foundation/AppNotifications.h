#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// The application-wide notifications through which a menu command or the Simulator panel
// asks a main window to show a page of the dashboard.
class AppNotifications : public QObject {
    Q_OBJECT
public:
    static inline const QString openTallyrigPreferences = QStringLiteral("Tallyrig.openPreferences");
    static inline const QString openTallyrigReport = QStringLiteral("Tallyrig.openReport");

    using QObject::QObject;

    void post(const QString& name, const QVariant& object = {});

signals:
    void posted(const QString& name, const QVariant& object);
};
