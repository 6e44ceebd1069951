#pragma once

#include "window/DashboardView.h"

#include <QString>

// The module that holds the dashboard's web view. Qt WebEngine is large and slow to load, so the app
// loads it when the first dashboard is shown rather than at start.
namespace DashboardModule {

// The module's entry point, which makes a BridgeWebView.
using CreateFunction = DashboardView* (*)(const DashboardRequest& request, QWidget* parent);
inline constexpr char entryPoint[] = "tallyrigCreateDashboard";

// Where a bundle carries the module (the file name without its platform's prefix and suffix).
QString pathIn(const QString& bundleFolder);

// A factory that loads the module at `path` on first use. External links go to `openInBrowser` unless
// the request names its own. When the module cannot be loaded, the dashboards it makes say so in
// place of the web view.
DashboardFactory factory(const QString& path, OpenInBrowser openInBrowser = {});

} // namespace DashboardModule
