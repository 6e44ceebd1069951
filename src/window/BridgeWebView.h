#pragma once

#include "window/DashboardView.h"

#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include <functional>
#include <optional>

// The dashboard's web view: never shows a context menu.
class AppWebView : public QWebEngineView {
    Q_OBJECT
public:
    explicit AppWebView(QWidget* parent = nullptr);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// The dashboard's web page (a QWebEnginePage, not a navigator object): it keeps the dashboard on the
// local bridge and hands https links to the user's browser.
class BridgeNavigation : public QWebEnginePage {
    Q_OBJECT
public:
    // `openInBrowser` defaults to the desktop's default browser.
    explicit BridgeNavigation(OpenInBrowser openInBrowser = {}, QObject* parent = nullptr);

    // The last report this web view ran the pick script for.
    std::optional<QString> shownReport;

signals:
    void navigationDecided(const QUrl& url, bool allowed);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    OpenInBrowser m_open;
};

// The bridge's dashboard in a web view, loaded once and then steered by page fragment and report id.
class BridgeWebView : public DashboardView {
    Q_OBJECT
public:
    static constexpr int loadTimeoutMs = 60'000;

    explicit BridgeWebView(const DashboardRequest& request, QWidget* parent = nullptr);

    QString baseAddress() const override { return m_baseAddress; }
    AppWebView* view() const { return m_view; }
    BridgeNavigation* navigation() const { return m_navigation; }

    void setInputs(const QString& page, const std::optional<QString>& report) override;

signals:
    void scriptStarted(const QString& script);

private:
    void apply();
    void run(const QString& script);

    QString m_baseAddress;
    AppWebView* m_view;
    BridgeNavigation* m_navigation;
    QString m_page;
    std::optional<QString> m_report;
    bool m_loaded = false;
    // The fragment a script of ours asked for and the page has not reported yet.
    std::optional<QString> m_pendingFragment;
};
