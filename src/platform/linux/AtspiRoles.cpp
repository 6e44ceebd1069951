#include "platform/linux/AtspiAccessibility.h"

#include <QHash>

namespace platform::atspi {

namespace {

// The role names, indexed by role number.
// clang-format off
const char* const roleNames[] = {
    "invalid", "accelerator label", "alert", "animation", "arrow", "calendar", "canvas", "check box",
    "check menu item", "color chooser", "column header", "combo box", "date editor", "desktop icon",
    "desktop frame", "dial", "dialog", "directory pane", "drawing area", "file chooser", "filler",
    "focus traversable", "font chooser", "frame", "glass pane", "html container", "icon", "image",
    "internal frame", "label", "layered pane", "list", "list item", "menu", "menu bar", "menu item",
    "option pane", "page tab", "page tab list", "panel", "password text", "popup menu", "progress bar",
    "push button", "radio button", "radio menu item", "root pane", "row header", "scroll bar", "scroll pane",
    "separator", "slider", "spin button", "split pane", "status bar", "table", "table cell",
    "table column header", "table row header", "tearoff menu item", "terminal", "text", "toggle button",
    "tool bar", "tool tip", "tree", "tree table", "unknown", "viewport", "window", "extended", "header",
    "footer", "paragraph", "ruler", "application", "autocomplete", "editbar", "embedded", "entry", "chart",
    "caption", "document frame", "heading", "page", "section", "redundant object", "form", "link",
    "input method window", "table row", "tree item", "document spreadsheet", "document presentation",
    "document text", "document web", "document email", "comment", "list box", "grouping", "image map",
    "notification", "info bar", "level bar", "title bar", "block quote", "audio", "video", "definition",
    "article", "landmark", "log", "marquee", "math", "rating", "timer", "static", "math fraction",
    "math root", "subscript", "superscript", "description list", "description term", "description value",
    "footnote", "content deletion", "content insertion", "mark", "suggestion", "push button menu",
};
// clang-format on

} // namespace

QString AtspiAccessibility::axRole(uint role) {
    const QString name =
        role < std::size(roleNames) ? QString::fromLatin1(roleNames[role]) : QStringLiteral("unknown");
    static const QHash<QString, QString> named{
        {QStringLiteral("push button"), QStringLiteral("AXButton")},
        {QStringLiteral("label"), QStringLiteral("AXStaticText")},
        {QStringLiteral("image"), QStringLiteral("AXImage")},
        {QStringLiteral("icon"), QStringLiteral("AXImage")},
        {QStringLiteral("entry"), QStringLiteral("AXTextField")},
        {QStringLiteral("text"), QStringLiteral("AXTextField")},
        {QStringLiteral("password text"), QStringLiteral("AXTextField")},
        {QStringLiteral("check box"), QStringLiteral("AXCheckBox")},
        {QStringLiteral("toggle button"), QStringLiteral("AXCheckBox")},
        {QStringLiteral("radio button"), QStringLiteral("AXRadioButton")},
        {QStringLiteral("slider"), QStringLiteral("AXSlider")},
        {QStringLiteral("link"), QStringLiteral("AXLink")},
        {QStringLiteral("heading"), QStringLiteral("AXHeading")},
        {QStringLiteral("frame"), QStringLiteral("AXWindow")},
        {QStringLiteral("window"), QStringLiteral("AXWindow")},
        {QStringLiteral("panel"), QStringLiteral("AXGroup")},
        {QStringLiteral("filler"), QStringLiteral("AXGroup")},
        {QStringLiteral("section"), QStringLiteral("AXGroup")},
        {QStringLiteral("grouping"), QStringLiteral("AXGroup")},
        {QStringLiteral("scroll pane"), QStringLiteral("AXGroup")},
        {QStringLiteral("layered pane"), QStringLiteral("AXGroup")},
    };
    if (const auto found = named.constFind(name); found != named.constEnd())
        return *found;
    QString camel = QStringLiteral("AX");
    for (const QString& word : name.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        camel += word.at(0).toUpper() + word.mid(1);
    return camel;
}

} // namespace platform::atspi
