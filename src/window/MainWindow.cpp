#include "window/MainWindow.h"

#include "foundation/Detach.h"
#include "foundation/PlatformText.h"
#include "foundation/Shortcuts.h"
#include "foundation/Style.h"
#include "window/ConnectView.h"
#include "window/ProjectMenu.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStackedLayout>
#include <QToolBar>

MainWindow::MainWindow(BridgeWindow* model, DashboardFactory dashboards, QWidget* parent)
    : QMainWindow(parent), m_model(model), m_dashboards(std::move(dashboards)), m_content(new QWidget(this)),
      m_faces(new QStackedLayout(m_content)) {
    m_model->setParent(this);
    setWindowTitle(QStringLiteral("Tallyrig"));
    setWindowIcon(Style::appIcon());
    setCentralWidget(m_content);
    m_content->setMinimumSize(minimumContentSize);
    resize(initialSize);
    setUnifiedTitleAndToolBarOnMac(true);

    m_model->setFolderChooser(
        [this](std::function<void(const QString&)> chosen) { chooseFolder(std::move(chosen)); });
    makeToolBarActions();

    connect(m_model, &BridgeWindow::connectedChanged, this, &MainWindow::showFace);
    connect(m_model, &BridgeWindow::portChanged, this, [this] {
        // The dashboard belongs to one base address; another port gets a new web view.
        if (m_dashboard && m_dashboard->baseAddress() != m_model->baseAddress())
            showFace();
        refreshToolBar();
    });
    const auto steer = [this] {
        if (m_dashboard)
            m_dashboard->setInputs(m_model->page(), m_model->report());
    };
    connect(m_model, &BridgeWindow::pageChanged, this, steer);
    connect(m_model, &BridgeWindow::reportChanged, this, steer);
    refreshToolBar();
}

void MainWindow::setVisible(bool visible) {
    // The connection is started as the window begins to show, and the rest is built after it: the
    // first probe then travels while the window builds and lays itself out. (A toolbar loads every
    // image format plugin for its overflow arrow.)
    if (visible) {
        m_model->start();
        if (!m_toolBar) {
            buildToolBar();
            emit firstShowing();
        }
        if (!m_connectView && !m_dashboard)
            showFace();
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::showFace() {
    if (m_model->connected()) {
        if (m_connectView)
            m_connectView->deleteLater();
        if (m_dashboard && m_dashboard->baseAddress() != m_model->baseAddress())
            m_dashboard->deleteLater();
        if (!m_dashboard || m_dashboard->baseAddress() != m_model->baseAddress()) {
            m_dashboard =
                m_dashboards({m_model->baseAddress(), m_model->page(), m_model->report(), {}}, m_content);
            m_faces->addWidget(m_dashboard);
        }
        m_faces->setCurrentWidget(m_dashboard);
        m_dashboard->setFocus();
    } else {
        if (m_dashboard)
            m_dashboard->deleteLater();
        if (!m_connectView) {
            m_connectView = new ConnectView(
                *m_model, [this] { m_model->chooseProject(); },
                [this](const QString& folder) { openRecent(folder); }, m_content);
            m_faces->addWidget(m_connectView);
        }
        m_faces->setCurrentWidget(m_connectView);
    }
    refreshToolBar();
}

void MainWindow::openRecent(const QString& folder) {
    detach(m_model->open(folder), m_model);
}

void MainWindow::makeToolBarActions() {
    m_panelAction = new QAction(Style::symbol(QStringLiteral("iphone.gen3.badge.play")),
                                QStringLiteral("Simulator Panel"), this);
    m_panelAction->setCheckable(true);
    m_panelAction->setChecked(m_model->simulatorPanel());
    m_panelAction->setToolTip(QStringLiteral("Show the Tallyrig panel next to the iOS Simulator ") +
                              PlatformText::shortcutHint(Shortcuts::simulatorPanel()));
    connect(m_panelAction, &QAction::toggled, m_model, &BridgeWindow::setSimulatorPanel);
    connect(m_model, &BridgeWindow::simulatorPanelChanged, m_panelAction,
            [this] { m_panelAction->setChecked(m_model->simulatorPanel()); });

    m_settingsAction =
        new QAction(Style::symbol(QStringLiteral("gearshape")), QStringLiteral("Settings"), this);
    m_settingsAction->setToolTip(QStringLiteral("Agent, automation and relaunch settings ") +
                                 PlatformText::shortcutHint(Shortcuts::settings()));
    connect(m_settingsAction, &QAction::triggered, m_model, &BridgeWindow::showSettings);

    m_disconnectAction =
        new QAction(Style::symbol(QStringLiteral("network.slash")), QStringLiteral("Disconnect"), this);
    connect(m_disconnectAction, &QAction::triggered, m_model, &BridgeWindow::disconnectFromBridge);

    m_showToolBarAction = new QAction(QStringLiteral("Show Toolbar"), this);
    m_showToolBarAction->setCheckable(true);
    m_showToolBarAction->setChecked(true);
}

void MainWindow::buildToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("MainToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(18, 18));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setVisible(m_showToolBarAction->isChecked());
    connect(m_showToolBarAction, &QAction::toggled, m_toolBar, &QToolBar::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, m_showToolBarAction, &QAction::setChecked);

    auto* spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(spacer);
    m_toolBar->addAction(m_panelAction);
    m_toolBar->addAction(m_settingsAction);
    m_toolBar->addAction(m_disconnectAction);

    m_projectMenu = new ProjectMenu(
        m_model->bridge(), [this] { m_model->chooseProject(); },
        [this](const QString& folder) { openRecent(folder); },
        [this] { detach(m_model->stopBridge(), m_model); }, m_toolBar);
    m_projectMenuAction = m_toolBar->addWidget(m_projectMenu);
    refreshToolBar();
}

void MainWindow::refreshToolBar() {
    const bool connected = m_model->connected();
    const bool carried = m_model->bridge().runtime().has_value();
    m_settingsAction->setVisible(connected);
    m_disconnectAction->setVisible(connected && !carried);
    m_disconnectAction->setToolTip(QStringLiteral("Disconnect from the bridge on port ") +
                                   m_model->port().text());
    if (m_projectMenuAction)
        m_projectMenuAction->setVisible(connected && carried);
}

void MainWindow::chooseFolder(std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(this, QStringLiteral("Open Project"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
#ifndef Q_OS_MACOS
    // Qt's own dialog, so the message can stand with the folder list.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        auto* message = new QLabel(
            QStringLiteral("Choose your app\u2019s repository. Tallyrig sets it up the first time."), dialog);
        message->setWordWrap(true);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
#endif
    connect(dialog, &QDialog::accepted, dialog, [dialog, chosen = std::move(chosen)] {
        const QStringList folders = dialog->selectedFiles();
        if (!folders.isEmpty())
            chosen(folders.constFirst());
    });
    dialog->open();
}
