#include "foundation/AccessibleButton.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QPushButton>
#include <QToolButton>

namespace AccessibleButton {

namespace {

const char clicks[] = "tallyrigClicksOnAction";

class ClickingButton final : public QAccessibleWidget {
public:
    explicit ClickingButton(QAbstractButton* button) : QAccessibleWidget(button) {}

    QAccessible::Role role() const override {
        if (hasMenu())
            return QAccessible::ButtonMenu;
        if (button()->isCheckable())
            return button()->autoExclusive() ? QAccessible::RadioButton : QAccessible::CheckBox;
        return QAccessible::Button;
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = button()->isCheckable();
        state.checked = button()->isChecked();
        state.pressed = button()->isDown();
        state.hasPopup = hasMenu();
        if (auto* push = qobject_cast<QPushButton*>(button()))
            state.defaultButton = push->isDefault();
        return state;
    }

    QString text(QAccessible::Text kind) const override {
        // The app's buttons draw their text as it is, "&" included, and are read so.
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty() && !button()->text().isEmpty())
            return button()->text();
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled())
            names << (hasMenu()                 ? showMenuAction()
                      : button()->isCheckable() ? toggleAction()
                                                : pressAction());
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        if (name != pressAction() && name != toggleAction() && name != showMenuAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        // Once the caller's request has been answered: a click may open a menu or a dialog that
        // waits for the user, and the assistive technology must not wait with it.
        if (widget()->isEnabled())
            QMetaObject::invokeMethod(button(), &QAbstractButton::click, Qt::QueuedConnection);
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

    bool hasMenu() const {
        if (auto* tool = qobject_cast<QToolButton*>(button()))
            return tool->menu() != nullptr;
        auto* push = qobject_cast<QPushButton*>(button());
        return push && push->menu();
    }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    auto* button = qobject_cast<QAbstractButton*>(object);
    if (button && button->property(clicks).toBool())
        return new ClickingButton(button);
    return nullptr;
}

} // namespace

void clickOnAction(QAbstractButton* button) {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
    button->setProperty(clicks, true);
}

} // namespace AccessibleButton
