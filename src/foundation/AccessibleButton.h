#pragma once

class QAbstractButton;

// The app's own buttons as assistive technologies meet them. Qt's interface toggles a checkable
// button without clicking it, so nothing that listens to the click runs and the button no longer
// shows what its model holds; and it cannot open a menu that pops up at once. Through this one
// every action a button offers (press, toggle, show its menu) is the button's click, as the
// pointer's would be. Its role, states and name read as Qt's own interface gives them.
namespace AccessibleButton {

// From the button's constructor, before anything asked for its accessible interface.
void clickOnAction(QAbstractButton* button);

} // namespace AccessibleButton
