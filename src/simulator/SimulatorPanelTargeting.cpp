#include "foundation/Detach.h"
#include "foundation/Failure.h"
#include "foundation/Geometry.h"
#include "foundation/Settings.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"
#include "simulator/PickSession.h"
#include "simulator/SimulatorPanelController.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

// Targeting: starting a round over the followed window (reading a device's own elements first where
// its window shows none), the offers it makes, and choosing a desktop window to follow instead.

void SimulatorPanelController::togglePick() {
    if (m_session || m_reading) {
        cancelPick();
        return;
    }
    if (!m_ports.accessibility.isTrusted()) {
        requestAccess();
        return;
    }
    if (!m_window)
        return;
    if (std::optional<TargetScreen> target = TargetScreens::fromWindow(*m_window, m_ports.accessibility)) {
        if (m_window->kind == SimulatorWindow::Kind::Window) {
            // Taken before the overlay covers it: the window as the user sees it now.
            target->still = windowStill(*m_window);
            if (!m_targetPublished)
                tellOnce(bareTree(*m_window));
        }
        startSession(std::move(*target));
        return;
    }
    if (!m_simulators) {
        // Nothing but the window's own tree to go by, whatever it shows.
        startSession(TargetScreens::live(m_ports.accessibility, *m_window));
        return;
    }
    m_reading = true;
    m_model.setPicking(true);
    m_model.setReading(true);
    detach(readScreen(*m_window, m_window->screenRect(), ++m_starts), this);
}

QCoro::Task<> SimulatorPanelController::readScreen(SimulatorWindow window, std::optional<QRectF> screen,
                                                   quint64 start) {
    const QPointer<SimulatorPanelController> self(this);
    TargetScreen target =
        co_await TargetScreens::fromDevice(std::move(window), screen, *m_simulators, m_elementTool);
    if (!self || start != m_starts || !m_reading)
        co_return;
    m_reading = false;
    m_model.setReading(false);
    if (!m_window) {
        m_model.setPicking(false);
        co_return;
    }
    if (target.problem)
        tellOnce(*target.problem);
    if (target.bare && !m_offered.contains(target.bare->udid)) {
        m_offered.insert(target.bare->udid);
        offer(Offer::Accessibility,
              TargetingOffer{
                  QStringLiteral(
                      "\u201c%1\u201d keeps its accessibility off, so its elements can\u2019t be read. "
                      "Turn it on? Tallyrig will set AccessibilityEnabled and "
                      "ApplicationAccessibilityEnabled in com.apple.Accessibility on that simulator.")
                      .arg(target.bare->name),
                  QStringLiteral("Turn On"), QStringLiteral("Not Now")});
        m_offerDevice = target.bare;
    }
    // The window may have moved while its device was read.
    target.screen = target.screenIn(*m_window);
    startSession(std::move(target));
}

void SimulatorPanelController::startSession(TargetScreen target) {
    ++m_starts;
    // A snapshot laid over the live window ages as the app moves on; a canvas does not.
    if (target.source == TargetScreen::Source::Device && !target.canvas) {
        m_snapshots.setInterval(m_timings.snapshotAge);
        m_snapshots.callOnTimeout(this, [this, start = m_starts] {
            if (!m_refreshing && m_session && start == m_starts)
                detach(refreshSnapshot(start), this);
        });
        m_snapshots.start();
    }
    m_session = new PickSession(m_ports, m_windows, *m_window, std::move(target), this);
    connect(m_session, &PickSession::finished, this, [this](const std::vector<PickResult>& pins) {
        endPick(false);
        m_model.select(pins);
        if (m_panel)
            m_panel->becomeKey();
    });
    connect(m_session, &PickSession::cancelled, this, &SimulatorPanelController::cancelPick);
    connect(m_session, &PickSession::highlightChanged, this,
            [this](const std::optional<QString>& name) { m_model.setHighlighted(name); });
    m_session->start(m_panel && m_panel->isVisible() ? m_panel : nullptr);
    m_model.setPicking(true);
}

void SimulatorPanelController::tellOnce(const QString& problem) {
    if (m_told.contains(problem))
        return;
    m_told.insert(problem);
    m_model.tell(problem);
}

void SimulatorPanelController::answerOffer(bool accepted) {
    const Offer answered = m_offer;
    const std::optional<Simctl::Device> device = std::exchange(m_offerDevice, std::nullopt);
    offer(Offer::None, std::nullopt);
    switch (answered) {
    case Offer::Accessibility:
        if (accepted && device && m_simulators)
            detach(turnOnAccessibility(*device), this);
        break;
    case Offer::TargetClosed:
        if (accepted)
            chooseTarget();
        else
            followSimulator();
        break;
    case Offer::None:
        break;
    }
}

QCoro::Task<> SimulatorPanelController::turnOnAccessibility(Simctl::Device device) {
    const QPointer<SimulatorPanelController> self(this);
    platform::SimulatorTool& tool = *m_simulators;
    for (const char* key : {"AccessibilityEnabled", "ApplicationAccessibilityEnabled"}) {
        const QStringList arguments{QStringLiteral("spawn"),
                                    device.udid,
                                    QStringLiteral("defaults"),
                                    QStringLiteral("write"),
                                    QStringLiteral("com.apple.Accessibility"),
                                    QString::fromLatin1(key),
                                    QStringLiteral("-bool"),
                                    QStringLiteral("true")};
        try {
            co_await Simctl::run(tool, arguments);
        } catch (const Failure& failure) {
            if (self)
                self->m_model.tell(
                    QStringLiteral("Couldn\u2019t turn on the simulator\u2019s accessibility: ") +
                    failure.description());
            co_return;
        }
        if (!self)
            co_return;
    }
    // Still targeting: again, with the elements the device now shares.
    if (m_session) {
        endPick(false);
        togglePick();
    }
}

QCoro::Task<> SimulatorPanelController::refreshSnapshot(quint64 start) {
    const QPointer<SimulatorPanelController> self(this);
    m_refreshing = true;
    const SimulatorWindow window = *m_window;
    TargetScreen fresh =
        co_await TargetScreens::fromDevice(window, window.screenRect(), *m_simulators, m_elementTool);
    if (!self)
        co_return;
    m_refreshing = false;
    if (start == m_starts && m_session && fresh.source == TargetScreen::Source::Device)
        m_session->overlay()->setElements(std::move(fresh.elements));
}

void SimulatorPanelController::cancelPick() {
    endPick(true);
}

void SimulatorPanelController::endPick(bool giveBack) {
    m_snapshots.stop();
    m_snapshots.disconnect();
    ++m_starts;
    if (m_reading) {
        m_reading = false;
        m_model.setReading(false);
    }
    if (m_session) {
        m_session->end(giveBack);
        // The session may be the one calling: it goes once its event is over.
        m_session->deleteLater();
        m_session = nullptr;
    }
    m_model.setHighlighted(std::nullopt);
    m_model.setPicking(false);
}

void SimulatorPanelController::requestAccess() {
    if (m_ports.accessibility.requestTrust())
        return;
    m_ports.accessibility.openSettings();
}

bool SimulatorPanelController::chooseTarget() {
    if (m_chooser)
        return true;
    endPick(false);
    const Screens screens = m_screens();
    QRectF desktop;
    for (const PanelPlacement::Screen& screen : screens.list)
        desktop = desktop.united(screen.frame);
    platform::PointerEvents events;
    const QPointer<SimulatorPanelController> self(this);
    // Not from inside the shield's own events: ending the choice takes the shield down.
    const auto later = [self](auto then) {
        QTimer::singleShot(0, self, [self, then] {
            if (self && self->m_chooser)
                then(*self);
        });
    };
    events.leftPressed = [later](QPointF at, Qt::KeyboardModifiers) {
        later([at](SimulatorPanelController& controller) {
            const std::vector<platform::WindowEntry> list =
                controller.m_ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{});
            const auto entry = WindowTargets::under(list, at, qint32(QCoreApplication::applicationPid()));
            const auto target =
                entry ? WindowTargets::identify(*entry, controller.m_ports.applications) : std::nullopt;
            // A click on nothing that can be followed leaves the chooser armed.
            if (target) {
                controller.cancelChoosing();
                controller.setTarget(target);
            }
        });
    };
    events.rightPressed = [later] {
        later([](SimulatorPanelController& controller) { controller.cancelChoosing(); });
    };
    m_chooser = m_windows.shieldPointer(desktop, std::move(events));
    if (!m_chooser)
        return false;
    m_chooserEscape = m_windows.watchEscape(
        [later] { later([](SimulatorPanelController& controller) { controller.cancelChoosing(); }); });
    emit choosingChanged(true);
    return true;
}

void SimulatorPanelController::cancelChoosing() {
    m_chooserEscape.reset();
    if (!m_chooser)
        return;
    m_chooser.reset();
    emit choosingChanged(false);
}

void SimulatorPanelController::chooseWindow(quint32 number) {
    const std::vector<platform::WindowEntry> list =
        m_ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{});
    for (const platform::WindowEntry& entry : list) {
        if (entry.number == number && entry.ownerPid != qint32(QCoreApplication::applicationPid())) {
            if (const auto target = WindowTargets::identify(entry, m_ports.applications)) {
                cancelChoosing();
                setTarget(target);
            }
            return;
        }
    }
}

std::vector<SimulatorPanelController::Choice> SimulatorPanelController::windowsToChoose() {
    std::vector<Choice> choices;
    const qint32 ours = qint32(QCoreApplication::applicationPid());
    for (const platform::WindowEntry& entry :
         m_ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{})) {
        if (entry.layer != 0 || !entry.number || !entry.ownerPid || entry.ownerPid == ours)
            continue;
        const std::optional<QString> windowClass = m_ports.applications.bundleIdentifier(*entry.ownerPid);
        if (!windowClass)
            continue;
        const std::optional<QString> program = m_ports.applications.executable(*entry.ownerPid);
        choices.push_back({*entry.number, m_ports.windows.title(*entry.number).value_or(QString()),
                           program ? QFileInfo(*program).fileName() : *windowClass});
    }
    return choices;
}

void SimulatorPanelController::followSimulator() {
    cancelChoosing();
    setTarget(std::nullopt);
}

void SimulatorPanelController::setTarget(std::optional<WindowTarget> target) {
    endPick(false);
    const bool was = m_target.has_value();
    m_target = std::move(target);
    m_window.reset();
    m_windowEntries.clear();
    m_targetLost = false;
    m_targetPublished = true;
    if (m_offer == Offer::TargetClosed)
        offer(Offer::None, std::nullopt);
    if (m_project) {
        m_settings.setTargetWindow(
            *m_project, m_target ? std::optional(Settings::TargetWindow{
                                       m_target->windowClass, m_target->executable.value_or(QString())})
                                 : std::nullopt);
    }
    m_model.setFollowsWindow(m_target.has_value());
    if (was || m_target)
        emit targetChanged();
    if (m_started)
        changed();
}

void SimulatorPanelController::setProject(const std::optional<QString>& folder) {
    if (m_project == folder)
        return;
    m_project = folder;
    const std::optional<Settings::TargetWindow> kept =
        folder ? m_settings.targetWindow(*folder) : std::nullopt;
    // A project without a choice of its own keeps what is followed now, and remembers it.
    if (!kept) {
        if (m_target && m_project)
            m_settings.setTargetWindow(
                *m_project,
                Settings::TargetWindow{m_target->windowClass, m_target->executable.value_or(QString())});
        return;
    }
    setTarget(WindowTarget{kept->windowClass,
                           kept->executable.isEmpty() ? std::nullopt : std::optional(kept->executable),
                           std::nullopt, 0});
}

QByteArray SimulatorPanelController::targetPicture() {
    if (!m_window || m_window->kind != SimulatorWindow::Kind::Window || !m_window->number)
        return {};
    return m_windows.picture(*m_window->number);
}

std::shared_ptr<const DeviceStill> SimulatorPanelController::windowStill(const SimulatorWindow& window) {
    QByteArray png = targetPicture();
    if (png.isEmpty() || !window.application)
        return nullptr;
    const QRectF content = window.content.value_or(window.frame);
    return std::make_shared<const DeviceStill>(
        DeviceStill{Simctl::Device{window.application->windowClass, window.application->name, QString()},
                    std::move(png), content.size()});
}
