#pragma once

#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "simulator/PanelLink.h"
#include "simulator/PanelPlacement.h"
#include "simulator/PanelStacking.h"
#include "simulator/SimulatorWindow.h"
#include "simulator/TargetScreen.h"
#include "simulator/WindowTarget.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class FloatingPanel;
class PickOverlay;
class PickSession;
class QWidget;
class Settings;

struct PanelControllerTimings {
    // Between two looks for the Simulator window, and the least time between two looks.
    std::chrono::milliseconds tick{100};
    // Between two looks where the window system tells of every change to its windows, each of which
    // brings a look within `tick`: only what it cannot tell (the device window's title, whether
    // accessibility access is granted) waits this long.
    std::chrono::milliseconds quietTick{1000};
    // Between two reads of the device window's title while nothing else about the window changes:
    // the one read a look would make of another process when nothing moves.
    std::chrono::milliseconds titleRead{500};
    // Between two snapshots of a device's own tree while targeting over its live window, where the
    // screen may change under the pointer.
    std::chrono::milliseconds snapshotAge{2000};
    // How long a chosen window's application that was asked to publish its tree may take before
    // the panel says what it needs.
    std::chrono::milliseconds publishWait{3000};
};

// Keeps the floating panel beside the Simulator's device window for the life of the application:
// shown, placed and stacked directly above it while the window is found and the panel is wanted,
// hidden otherwise. Starts and ends targeting over the window (a PickSession) and hands the pick
// to the model. Instead of the Simulator it can follow a desktop window the user chose, known
// again by its application when it closes and comes back.
class SimulatorPanelController final : public QObject, public PanelControl {
    Q_OBJECT
public:
    using Timings = PanelControllerTimings;
    // Makes the panel's content for the panel window it is given.
    using ContentFactory = std::function<QWidget*(QWidget* parent)>;

    // The screens in the system's order, which of them is the main one, and the primary display's
    // height.
    struct Screens {
        std::vector<PanelPlacement::Screen> list;
        std::optional<std::size_t> main;
        double primaryHeight = 0;
    };
    using ScreenSource = std::function<Screens()>;

    // The ports, the settings and the model outlive the controller.
    SimulatorPanelController(platform::TargetingPorts ports, platform::WindowSystem& windows,
                             Settings& settings, PanelModelInput& model, ContentFactory content,
                             Timings timings = {}, QObject* parent = nullptr);
    ~SimulatorPanelController() override;

    // The tools through which a device's own elements and pictures are read, where its window shows
    // none: `simulators` runs `xcrun simctl`, `elements` the element tool (null: none installed).
    // Without them targeting reads only the window's own tree. The tools outlive the controller.
    void setTools(platform::SimulatorTool* simulators, platform::SimulatorTool* elements);

    // Starts the follow loop, its first look at once; later calls do nothing.
    void start();
    // Starts targeting, or ends it when in progress; without accessibility access, only asks for it.
    void togglePick() override;
    // Ends targeting as the user does (Escape, the button): the keyboard goes back to the Simulator.
    void cancelPick();
    // Asks for accessibility access, then opens the desktop's settings when still not granted.
    void requestAccess() override;
    // Yes turns on the accessibility of the device whose tree was bare, and targets it again.
    void answerOffer(bool accepted) override;
    // While targeting waits for the device's elements.
    bool isReading() const { return m_reading; }

    // Arms the chooser: the next click on a window makes it the target, instead of the Simulator;
    // Escape or a right click cancel. False where the window system cannot catch that click.
    bool chooseTarget() override;
    void cancelChoosing();
    bool isChoosing() const { return m_chooser != nullptr; }
    // Follows the window with this number, one of windowsToChoose().
    void chooseWindow(quint32 number);
    // Back to the Simulator, as found on the desktop.
    void followSimulator() override;
    const std::optional<WindowTarget>& target() const { return m_target; }
    // Another application's windows that can be chosen now, front to back.
    struct Choice {
        quint32 number;
        QString title;
        QString application;
    };
    std::vector<Choice> windowsToChoose();
    // The project whose chosen window is remembered and found again; none: kept for this run only.
    void setProject(const std::optional<QString>& folder);
    // The followed desktop window as it shows now, as PNG; empty for the Simulator or none.
    QByteArray targetPicture() override;

    // One look at the desktop.
    void tick();

    bool isStarted() const { return m_started; }
    FloatingPanel* panel() const { return m_panel; }
    PickOverlay* overlay() const;
    const std::optional<SimulatorWindow>& window() const { return m_window; }

    // The desktop's screens by default.
    void setScreenSource(ScreenSource source) { m_screens = std::move(source); }
    static Screens desktopScreens();

signals:
    // After every tick, for whoever measures the loop.
    void ticked();
    // What the panel follows changed: the Simulator, or a chosen window.
    void targetChanged();
    void choosingChanged(bool choosing);

private:
    // One look, and the next one scheduled.
    void look();
    // Something the panel depends on may have changed: a look soon.
    void changed();
    // The Simulator's device window in this look's window list.
    std::optional<SimulatorWindow> lookForWindow(bool trusted);
    // The chosen window, or its application's window after a relaunch, in this look's list.
    std::optional<SimulatorWindow> lookForTarget();
    // The target went: the panel stays where it was and offers to choose again.
    void loseTarget();
    // Whether the chosen window's application publishes its elements; asks it to where it can
    // without a restart, and otherwise says, once, what it needs.
    void checkPublished(const SimulatorWindow& window);
    QString bareTree(const SimulatorWindow& window) const;
    void setTarget(std::optional<WindowTarget> target);
    // The picture a report from the chosen window is made of; null when none can be had.
    std::shared_ptr<const DeviceStill> windowStill(const SimulatorWindow& window);
    void endPick(bool giveBack);
    // Targeting over the window as `target` sees it.
    void startSession(TargetScreen target);
    // The device's own elements, then targeting, unless it was cancelled or started again meanwhile.
    QCoro::Task<> readScreen(SimulatorWindow window, std::optional<QRectF> screen, quint64 start);
    QCoro::Task<> turnOnAccessibility(Simctl::Device device);
    // A newer snapshot of the device's tree for the round under way.
    QCoro::Task<> refreshSnapshot(quint64 start);
    // Says a problem on the panel's error line, once for the life of the controller.
    void tellOnce(const QString& problem);
    void makePanel();
    void place(FloatingPanel& panel, const SimulatorWindow& w);

    platform::TargetingPorts m_ports;
    platform::WindowSystem& m_windows;
    Settings& m_settings;
    PanelModelInput& m_model;
    ContentFactory m_content;
    Timings m_timings;
    ScreenSource m_screens;

    platform::SimulatorTool* m_simulators = nullptr;
    platform::SimulatorTool* m_elementTool = nullptr;
    FloatingPanel* m_panel = nullptr;
    PickSession* m_session = nullptr;
    // Reading a device's elements before targeting; counts the starts, so that only the latest goes on.
    bool m_reading = false;
    quint64 m_starts = 0;
    QTimer m_snapshots;
    bool m_refreshing = false;
    QSet<QString> m_told;
    // Devices offered to turn their accessibility on, and the one the offer shown is for.
    QSet<QString> m_offered;
    std::optional<Simctl::Device> m_offerDevice;
    // What the offer shown is about.
    enum class Offer { None, Accessibility, TargetClosed };
    Offer m_offer = Offer::None;
    void offer(Offer kind, std::optional<TargetingOffer> shown);
    // The chosen window, the project it is remembered for, and the chooser while armed.
    std::optional<WindowTarget> m_target;
    std::optional<QString> m_project;
    std::unique_ptr<platform::Watch> m_chooser;
    std::unique_ptr<platform::Watch> m_chooserEscape;
    bool m_targetLost = false;
    bool m_targetPublished = true;
    QSet<qint32> m_askedToPublish;
    QElapsedTimer m_askedAt;
    bool m_started = false;
    QTimer m_loop;
    // Whether the window list tells of its changes, so that a quiet desktop needs few looks.
    bool m_toldOfChanges = false;
    bool m_changed = false;
    QElapsedTimer m_lastLook;
    std::optional<SimulatorWindow> m_window;
    // The window list of the current look, read once and shared by its steps.
    std::optional<std::vector<platform::WindowEntry>> m_list;
    // The Simulator's own entries when its device window was last looked for in full.
    std::vector<platform::WindowEntry> m_windowEntries;
    // Since the device window's title was last read.
    QElapsedTimer m_titleRead;
    PanelStacking::State m_stacking;
};
