#include "foundation/AppNotifications.h"

AppNotifications& AppNotifications::shared() {
    static auto* instance = new AppNotifications;
    return *instance;
}

void AppNotifications::post(const QString& name, const QVariant& object) {
    emit posted(name, object);
}
