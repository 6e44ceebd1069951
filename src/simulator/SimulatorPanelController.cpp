#include "simulator/SimulatorPanelController.h"

#include "foundation/Settings.h"
#include "simulator/AX.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <qcoro/qcorotimer.h>

namespace {

// One look at the window list, asked as often as needed.
class ListSeen final : public platform::WindowList {
public:
    explicit ListSeen(std::optional<std::vector<platform::WindowEntry>> entries)
        : m_entries(std::move(entries)) {}
    std::optional<std::vector<platform::WindowEntry>> onScreenWindows() override { return m_entries; }

private:
    std::optional<std::vector<platform::WindowEntry>> m_entries;
};

} // namespace

SimulatorPanelController::SimulatorPanelController(platform::TargetingPorts ports,
                                                   platform::WindowSystem& windows, Settings& settings,
                                                   PanelModelInput& model, ContentFactory content,
                                                   Timings timings, QObject* parent)
    : QObject(parent), m_ports(ports), m_windows(windows), m_settings(settings), m_model(model),
      m_content(std::move(content)), m_timings(timings),
      m_screens(&SimulatorPanelController::desktopScreens) {}

SimulatorPanelController::~SimulatorPanelController() {
    delete m_overlay;
    delete m_panel;
    if (m_started)
        m_model.setController(nullptr);
}

void SimulatorPanelController::start() {
    if (m_started)
        return;
    m_started = true;
    m_model.setController(this);
    // The first look comes as soon as the event loop runs, not inside the caller's event.
    QTimer::singleShot(0, this, [this] { follow(this, m_timings.tick); });
    m_model.startPolling();
}

QCoro::Task<> SimulatorPanelController::follow(QPointer<SimulatorPanelController> controller,
                                               std::chrono::milliseconds interval) {
    while (controller) {
        controller->tick();
        co_await QCoro::sleepFor(interval);
    }
}

void SimulatorPanelController::tick() {
    m_model.setTrusted(m_ports.accessibility.isTrusted());
    std::optional<SimulatorWindow> found;
    if (m_settings.simulatorPanel())
        found = SimulatorWindow::front(m_ports);
    if (found) {
        m_window = found;
        m_model.setVisible(true);
        m_model.setDeviceTitle(found->title);
        if (!m_panel)
            makePanel();
        place(*m_panel, *found);
        if (m_overlay)
            m_overlay->follow(*found);
    } else {
        if (m_window || (m_panel && m_panel->isVisible())) {
            if (m_panel)
                m_panel->hide();
            cancelPick();
        }
        m_stacking.seen.reset();
        m_stacking.asked = false;
        m_window.reset();
        m_model.setVisible(false);
    }
    emit ticked();
}

void SimulatorPanelController::makePanel() {
    m_panel = new FloatingPanel(m_windows.compositing());
    if (m_content)
        m_panel->setContent(m_content(m_panel));
    // A taller or narrower content moves the panel at once, not on the next look.
    connect(m_panel, &FloatingPanel::resized, this, [this] {
        if (m_window && m_panel->isVisible())
            place(*m_panel, *m_window);
    });
}

void SimulatorPanelController::place(FloatingPanel& panel, const SimulatorWindow& w) {
    const Screens screens = m_screens();
    const QSize size = panel.size();
    const QPointF origin =
        PanelPlacement::origin(w.frame, QSizeF(size), screens.list, screens.main, screens.primaryHeight);
    const QRect frame(origin.toPoint(), size);
    if (panel.geometry() != frame)
        panel.setGeometry(frame);
    const auto number = quint32(panel.winId());
    if (!panel.isVisible()) {
        m_windows.setAuxiliary(number);
        panel.show();
    }
    if (!w.number)
        return;
    ListSeen list(m_ports.windows.onScreenWindows());
    std::vector<quint32> order;
    for (const platform::WindowEntry& entry :
         list.onScreenWindows().value_or(std::vector<platform::WindowEntry>{})) {
        if (entry.layer == 0 && entry.number)
            order.push_back(*entry.number);
    }
    const bool directlyAbove = SimulatorWindow::isDirectlyAbove(list, number, *w.number);
    if (PanelStacking::shouldOrderAbove(m_stacking, order, number, *w.number, directlyAbove))
        m_windows.orderAbove(number, *w.number);
}

void SimulatorPanelController::togglePick() {
    if (m_overlay) {
        cancelPick();
        return;
    }
    if (!m_ports.accessibility.isTrusted()) {
        requestAccess();
        return;
    }
    if (!m_window)
        return;

    m_overlay = new PickOverlay(m_ports.accessibility, m_windows, *m_window, this);
    QPointer<SimulatorPanelController> self(this);
    m_overlay->onPick = [self](const PickResult& pick) {
        if (!self)
            return;
        self->cancelPick();
        self->m_model.select(pick);
        if (self->m_panel)
            self->m_panel->becomeKey();
    };
    m_overlay->onCancel = [self] {
        if (self)
            self->cancelPick();
    };

    if (const platform::AXElementRef application =
            m_ports.accessibility.application(m_window->pid, AX::messagingTimeout))
        application->setAttribute(QStringLiteral("AXFrontmost"), true);
    if (m_window->axWindow)
        m_window->axWindow->performAction(QStringLiteral("AXRaise"));

    m_overlay->show();
    m_model.setPicking(true);
}

void SimulatorPanelController::cancelPick() {
    if (m_overlay) {
        m_overlay->close();
        // The overlay may be the one calling: it goes once its event is over.
        m_overlay->deleteLater();
        m_overlay = nullptr;
    }
    m_model.setPicking(false);
}

void SimulatorPanelController::requestAccess() {
    if (m_ports.accessibility.requestTrust())
        return;
    m_ports.accessibility.openSettings();
}

SimulatorPanelController::Screens SimulatorPanelController::desktopScreens() {
    Screens screens;
    const QList<QScreen*> all = QGuiApplication::screens();
    for (QScreen* screen : all)
        screens.list.push_back({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    const qsizetype main = all.indexOf(QGuiApplication::primaryScreen());
    if (main >= 0)
        screens.main = std::size_t(main);
    if (!all.isEmpty())
        screens.primaryHeight = all.first()->geometry().height();
    return screens;
}
