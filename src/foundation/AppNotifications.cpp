#include "foundation/AppNotifications.h"

void AppNotifications::post(const QString& name, const QVariant& object) {
    emit posted(name, object);
}
