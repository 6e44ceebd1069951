#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

// Where the dashboard's external links go: the user's default browser unless a test says otherwise.
using OpenInBrowser = std::function<void(const QUrl&)>;

// What a dashboard is made from.
struct DashboardRequest {
    QString baseAddress; // "http://127.0.0.1:" + port
    QString page;
    std::optional<QString> report;
    OpenInBrowser openInBrowser; // empty: the default browser
};

// The bridge's dashboard for one base address, steered by page fragment and report id. Declared
// here without the web engine: the web view behind it lives in a module of its own that is loaded
// when the first dashboard is shown (see DashboardModule).
class DashboardView : public QWidget {
public:
    using QWidget::QWidget;

    virtual QString baseAddress() const = 0;
    // Brings the dashboard to `page` and reveals `report` (each at most once per view).
    virtual void setInputs(const QString& page, const std::optional<QString>& report) = 0;
};

// Makes the dashboard for a request, as a child of `parent`. Never null.
using DashboardFactory = std::function<DashboardView*(const DashboardRequest& request, QWidget* parent)>;
