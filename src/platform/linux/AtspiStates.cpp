#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/AtspiProtocol.h"

namespace platform::atspi {

namespace {

// The states that tell a developer something about a control, by AT-SPI number and name; what
// every visible element has (showing, visible, opaque…) would only be noise.
struct Told {
    uint state;
    const char* name;
};
constexpr Told told[] = {
    {3, "busy"},        {4, "checked"},   {5, "collapsed"},      {7, "editable"},    {10, "expanded"},
    {11, "focusable"},  {12, "focused"},  {16, "modal"},         {17, "multi-line"}, {18, "multiselectable"},
    {20, "pressed"},    {23, "selected"}, {32, "indeterminate"}, {33, "required"},   {36, "invalid-entry"},
    {39, "is-default"}, {40, "visited"},  {42, "has-popup"},     {43, "read-only"},
};

} // namespace

QStringList AtspiAccessibility::stateNames(quint64 states) {
    QStringList names;
    // AT-SPI has no state for it: an element that is neither enabled nor sensitive is disabled.
    if (!has(states, enabledState) && !has(states, sensitiveState))
        names.append(QStringLiteral("disabled"));
    for (const Told& state : told) {
        if (has(states, state.state))
            names.append(QString::fromLatin1(state.name));
    }
    return names;
}

} // namespace platform::atspi
