#include "window/BridgeWebView.h"

#include "window/Dashboard.h"
#include "window/DashboardModule.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>

AppWebView::AppWebView(QWidget* parent) : QWebEngineView(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);
}

void AppWebView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

BridgeNavigation::BridgeNavigation(OpenInBrowser openInBrowser, QObject* parent)
    : QWebEnginePage(parent), m_open(std::move(openInBrowser)) {
    if (!m_open)
        m_open = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(this, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
        // Never opens a window: the request is dropped unless it goes to the browser.
        if (Dashboard::opensNewWindowInBrowser(request.requestedUrl()))
            m_open(request.requestedUrl());
    });
}

bool BridgeNavigation::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    const Dashboard::NavigationDecision decision = Dashboard::decideNavigation(url);
    if (decision.openInBrowser)
        m_open(url);
    emit navigationDecided(url, decision.allow);
    return decision.allow;
}

BridgeWebView::BridgeWebView(const DashboardRequest& request, QWidget* parent)
    : DashboardView(parent), m_baseAddress(request.baseAddress), m_view(new AppWebView(this)),
      m_navigation(new BridgeNavigation(request.openInBrowser, m_view)), m_page(request.page),
      m_report(request.report) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_view->setPage(m_navigation);

    connect(m_view, &QWebEngineView::urlChanged, this, [this] { m_pendingFragment.reset(); });
    connect(m_view, &QWebEngineView::loadFinished, this, [this] {
        if (m_loaded)
            return;
        // Scripts wait for the first document: run earlier, they would land in the blank page.
        m_loaded = true;
        apply();
    });

    m_pendingFragment = m_page;
    m_view->load(Dashboard::firstAddress(m_baseAddress, m_page));
    QTimer::singleShot(loadTimeoutMs, this, [this] {
        if (!m_loaded)
            m_view->stop();
    });
}

void BridgeWebView::setInputs(const QString& page, const std::optional<QString>& report) {
    m_page = page;
    m_report = report;
    if (m_loaded)
        apply();
}

void BridgeWebView::apply() {
    const QUrl current = m_view->url();
    const QString shownFragment = m_pendingFragment.value_or(current.fragment());
    if (current.isEmpty() || (!m_pendingFragment && !current.hasFragment()) || shownFragment != m_page) {
        m_pendingFragment = m_page;
        run(Dashboard::fragmentScript(m_page));
    }

    if (!m_report || m_report == m_navigation->shownReport || !Dashboard::isRevealableReport(*m_report))
        return;
    m_navigation->shownReport = m_report;
    run(Dashboard::pickScript(*m_report));
}

void BridgeWebView::run(const QString& script) {
    emit scriptStarted(script);
    m_navigation->runJavaScript(script);
}

// What the app calls once it has loaded this module.
extern "C" Q_DECL_EXPORT DashboardView* tallyrigCreateDashboard(const DashboardRequest& request,
                                                                QWidget* parent) {
    static_assert(std::is_same_v<decltype(&tallyrigCreateDashboard), DashboardModule::CreateFunction>);
    return new BridgeWebView(request, parent);
}
