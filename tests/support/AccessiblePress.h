#pragma once

#include <QAbstractButton>
#include <QAccessible>

// Presses the shown button under `root` that assistive technologies know by `name` as they
// press one: its first action. False when there is none.
inline bool pressAccessibly(QWidget* root, const QString& name) {
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        QAccessibleInterface* element = QAccessible::queryAccessibleInterface(button);
        if (button->isVisibleTo(root) && element->text(QAccessible::Name) == name) {
            element->actionInterface()->doAction(element->actionInterface()->actionNames().value(0));
            return true;
        }
    }
    return false;
}
