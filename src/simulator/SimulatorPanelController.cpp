#include "simulator/SimulatorPanelController.h"

#include "foundation/Settings.h"
#include "simulator/AX.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"
#include "simulator/PickSession.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <iterator>

namespace {

// One look at the window list, asked as often as needed; titles are read from the list itself.
class ListSeen final : public platform::WindowList {
public:
    ListSeen(std::optional<std::vector<platform::WindowEntry>> entries, platform::WindowList& list)
        : m_entries(std::move(entries)), m_list(list) {}
    std::optional<std::vector<platform::WindowEntry>> onScreenWindows() override { return m_entries; }
    std::optional<QString> title(quint32 number) override { return m_list.title(number); }

private:
    std::optional<std::vector<platform::WindowEntry>> m_entries;
    platform::WindowList& m_list;
};

// The Simulator's own entries, in list order: what the device window was found among.
std::vector<platform::WindowEntry> entriesOf(qint32 pid, const std::vector<platform::WindowEntry>& list) {
    std::vector<platform::WindowEntry> entries;
    std::copy_if(list.begin(), list.end(), std::back_inserter(entries),
                 [&](const platform::WindowEntry& entry) { return entry.ownerPid == pid; });
    return entries;
}

bool same(const std::vector<platform::WindowEntry>& a, const std::vector<platform::WindowEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const platform::WindowEntry& x, const platform::WindowEntry& y) {
                          return x.ownerPid == y.ownerPid && x.layer == y.layer && x.number == y.number &&
                                 x.bounds == y.bounds && x.clientBounds == y.clientBounds;
                      });
}

} // namespace

SimulatorPanelController::SimulatorPanelController(platform::TargetingPorts ports,
                                                   platform::WindowSystem& windows, Settings& settings,
                                                   PanelModelInput& model, ContentFactory content,
                                                   Timings timings, QObject* parent)
    : QObject(parent), m_ports(ports), m_windows(windows), m_settings(settings), m_model(model),
      m_content(std::move(content)), m_timings(timings),
      m_screens(&SimulatorPanelController::desktopScreens) {}

SimulatorPanelController::~SimulatorPanelController() {
    delete m_session;
    delete m_panel;
    if (m_started)
        m_model.setController(nullptr);
}

void SimulatorPanelController::setTools(platform::SimulatorTool* simulators,
                                        platform::SimulatorTool* elements) {
    m_simulators = simulators;
    m_elementTool = elements;
}

void SimulatorPanelController::start() {
    if (m_started)
        return;
    m_started = true;
    m_model.setController(this);
    // One timer for the life of the loop, the pause counted from the end of each look.
    m_loop.setSingleShot(true);
    connect(&m_loop, &QTimer::timeout, this, &SimulatorPanelController::look);
    m_toldOfChanges = m_ports.windows.watchChanges([self = QPointer(this)] {
        if (self)
            self->changed();
    });
    connect(&m_settings, &Settings::simulatorPanelChanged, this, &SimulatorPanelController::changed);
    // The first look comes as soon as the event loop runs, not inside the caller's event.
    m_loop.start(0);
}

void SimulatorPanelController::look() {
    m_changed = false;
    const bool first = !m_lastLook.isValid();
    m_lastLook.start();
    tick();
    // The first polling pass after the first look, so that it sees whether the panel is shown.
    if (first)
        m_model.startPolling();
    // A change told during the look may have come after what the look read.
    m_loop.start(m_toldOfChanges && !m_changed ? m_timings.quietTick : m_timings.tick);
}

void SimulatorPanelController::changed() {
    m_changed = true;
    if (!m_started)
        return;
    // Soon, but never sooner than a look's interval after the last one.
    const qint64 since = m_lastLook.isValid() ? m_lastLook.elapsed() : m_timings.tick.count();
    const auto wait = std::chrono::milliseconds(std::max<qint64>(0, m_timings.tick.count() - since));
    if (!m_loop.isActive() || m_loop.remainingTimeAsDuration() > wait)
        m_loop.start(wait);
}

void SimulatorPanelController::tick() {
    const bool trusted = m_ports.accessibility.isTrusted();
    m_model.setTrusted(trusted);
    m_model.setEscapeOnlyHere(!trusted && m_windows.escapeNeedsTrust());
    std::optional<SimulatorWindow> found;
    m_list.reset();
    if (m_settings.simulatorPanel()) {
        m_list = m_ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{});
        found = m_target ? lookForTarget() : lookForWindow(trusted);
    }
    if (found) {
        // A relaunched application: targeting over its old window ends.
        if (m_session && m_window && m_window->number != found->number)
            endPick(false);
        m_window = found;
        if (std::exchange(m_targetLost, false) && m_offer == Offer::TargetClosed)
            offer(Offer::None, std::nullopt);
        m_model.setVisible(true);
        m_model.setDeviceTitle(found->title);
        if (!m_panel)
            makePanel();
        place(*m_panel, *found);
        if (m_session)
            m_session->follow(*found);
    } else if (m_target && m_settings.simulatorPanel() && m_panel && m_panel->isVisible()) {
        loseTarget();
    } else {
        if (m_window || (m_panel && m_panel->isVisible())) {
            if (m_panel)
                m_panel->hide();
            // Nothing to give the keyboard back to: the Simulator went.
            endPick(false);
        }
        m_stacking.seen.reset();
        m_stacking.asked = false;
        m_windowEntries.clear();
        m_window.reset();
        m_model.setVisible(false);
    }
    emit ticked();
}

void SimulatorPanelController::loseTarget() {
    if (m_window)
        endPick(false);
    m_window.reset();
    m_windowEntries.clear();
    m_stacking.seen.reset();
    m_stacking.asked = false;
    if (std::exchange(m_targetLost, true))
        return;
    // The panel stays where it was, the way to another target one click away.
    offer(Offer::TargetClosed,
          TargetingOffer{QStringLiteral("The target window closed"), QStringLiteral("Target Window\u2026"),
                         QStringLiteral("Follow the Simulator")});
}

std::optional<SimulatorWindow> SimulatorPanelController::lookForTarget() {
    const std::optional<platform::WindowEntry> entry =
        WindowTargets::find(*m_target, *m_list, m_ports.applications);
    if (!entry)
        return std::nullopt;
    m_target->number = entry->number;
    m_target->pid = *entry->ownerPid;
    // The same window as before: only where it is and, now and then, its title and tree change.
    const bool same = m_window && m_window->kind == SimulatorWindow::Kind::Window &&
                      m_window->number == entry->number && m_window->pid == entry->ownerPid;
    const bool reread = !m_titleRead.isValid() || m_titleRead.elapsed() >= m_timings.titleRead.count();
    if (same && !(reread && (!m_window->axWindow || !m_targetPublished))) {
        SimulatorWindow still = *m_window;
        still.frame = *entry->bounds;
        still.content = entry->clientBounds;
        if (reread) {
            m_titleRead.start();
            if (const auto title = m_ports.windows.title(*entry->number); title && !title->isEmpty())
                still.title = *title;
        }
        return still;
    }
    m_titleRead.start();
    const QScreen* screen = QGuiApplication::screenAt(entry->bounds->center().toPoint());
    SimulatorWindow found =
        WindowTargets::window(*m_target, *entry, m_ports, screen ? screen->devicePixelRatio() : 1);
    checkPublished(found);
    return found;
}

void SimulatorPanelController::checkPublished(const SimulatorWindow& window) {
    // Without access the panel's callout asks for it, and nothing is changed without that yes.
    if (!m_ports.accessibility.isTrusted()) {
        m_targetPublished = true;
        return;
    }
    m_targetPublished =
        m_ports.accessibility.published(window.pid, AX::messagingTimeout) == platform::Published::Tree;
    if (m_targetPublished)
        return;
    if (!m_askedToPublish.contains(window.pid)) {
        m_askedToPublish.insert(window.pid);
        m_askedAt.start();
        m_ports.accessibility.askToPublish(window.pid, AX::messagingTimeout);
        return;
    }
    // A tree that was asked for appears within moments; one that has not by now will not.
    if (m_askedAt.elapsed() >= m_timings.publishWait.count())
        tellOnce(bareTree(window));
}

QString SimulatorPanelController::bareTree(const SimulatorWindow& window) const {
    const QString name = window.application ? window.application->name : window.title;
    const QString identity = (window.application ? window.application->windowClass +
                                                       window.application->executable.value_or(QString())
                                                 : QString())
                                 .toLower();
    if (identity.contains(QLatin1String("chrom")) || identity.contains(QLatin1String("electron")))
        return QStringLiteral(
                   "%1 shares no elements: start it with --force-renderer-accessibility, or with the "
                   "desktop\u2019s accessibility on.")
            .arg(name);
    return QStringLiteral("%1 shares no elements. Chromium and Electron apps share them when started with "
                          "--force-renderer-accessibility, Qt apps with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.")
        .arg(name);
}

std::optional<SimulatorWindow> SimulatorPanelController::lookForWindow(bool trusted) {
    const std::vector<platform::WindowEntry>& list = *m_list;
    // Nothing about the Simulator's windows changed since the last look: its device window is the
    // same, and only its title can have changed.
    if (m_window && m_window->axWindow && trusted && !m_windowEntries.empty() &&
        same(entriesOf(m_window->pid, list), m_windowEntries) &&
        m_ports.applications.bundleIdentifier(m_window->pid) &&
        !m_ports.applications.isHidden(m_window->pid)) {
        SimulatorWindow still = *m_window;
        if (!m_titleRead.isValid() || m_titleRead.elapsed() >= m_timings.titleRead.count()) {
            m_titleRead.start();
            // A Simulator that does not answer (paused in a debugger) keeps its window and title.
            if (const auto title = AX::value<QString>(*m_window->axWindow, QStringLiteral("AXTitle")))
                still.title = *title;
        }
        return still;
    }
    ListSeen seen(list, m_ports.windows);
    std::optional<SimulatorWindow> found =
        SimulatorWindow::front({seen, m_ports.applications, m_ports.accessibility});
    m_windowEntries = found ? entriesOf(found->pid, list) : std::vector<platform::WindowEntry>{};
    if (found)
        m_titleRead.start();
    return found;
}

void SimulatorPanelController::offer(Offer kind, std::optional<TargetingOffer> shown) {
    m_offer = kind;
    if (kind != Offer::Accessibility)
        m_offerDevice.reset();
    m_model.setOffer(shown);
}

void SimulatorPanelController::makePanel() {
    m_panel = new FloatingPanel(m_windows, m_windows.compositing());
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
    panel.winId();
    QWindow& native = *panel.windowHandle();
    // It follows the Simulator, not the main window: whatever else iconified or withdrew it (a
    // window manager minimising an application's windows together, a "minimise all"), it comes back.
    if (panel.isHiddenByOthers())
        m_windows.restore(native);
    if (!panel.isVisible()) {
        m_windows.setAuxiliary(native);
        panel.show();
    }
    if (!w.number)
        return;
    // Read once shown: the first show can put the window in another native window (an NSPanel on
    // macOS), with a number of its own.
    const quint32 number = m_windows.number(native);
    // The window list of this look: the stacking it shows is what the window manager answered last.
    const std::vector<platform::WindowEntry> entries =
        m_list ? *m_list : m_ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{});
    ListSeen list(entries, m_ports.windows);
    std::vector<quint32> order;
    for (const platform::WindowEntry& entry : entries) {
        if (entry.layer == 0 && entry.number)
            order.push_back(*entry.number);
    }
    const bool directlyAbove = SimulatorWindow::isDirectlyAbove(list, number, *w.number);
    if (PanelStacking::shouldOrderAbove(m_stacking, order, number, *w.number, directlyAbove))
        m_windows.orderAbove(native, *w.number);
}

PickOverlay* SimulatorPanelController::overlay() const {
    return m_session ? m_session->overlay() : nullptr;
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
