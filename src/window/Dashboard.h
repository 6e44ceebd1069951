#pragma once

#include <QString>
#include <QUrl>

// How the main window steers the bridge's dashboard page, and which addresses it may show.
namespace Dashboard {

// The first address: the root path of the base address with the page as fragment.
QUrl firstAddress(const QString& baseAddress, const QString& page);

// `text` as a double-quoted JavaScript string literal.
QString stringLiteral(const QString& text);

// location.hash = "<page>"
QString fragmentScript(const QString& page);

// Only ids made of hexadecimal digits (ASCII or fullwidth) and "-" reach a script.
bool isRevealableReport(const QString& id);

// Clicks the report's entry, retrying while the page is still filling in.
QString pickScript(const QString& id);

struct NavigationDecision {
    bool allow = false;
    bool openInBrowser = false;
};

// The dashboard stays on local servers; https elsewhere goes to the user's browser.
NavigationDecision decideNavigation(const QUrl& url);

// A request for a new window never makes one; https goes to the user's browser.
bool opensNewWindowInBrowser(const QUrl& url);

} // namespace Dashboard
