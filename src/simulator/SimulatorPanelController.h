#pragma once

#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "simulator/PanelLink.h"
#include "simulator/PanelPlacement.h"
#include "simulator/PanelStacking.h"
#include "simulator/SimulatorWindow.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

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
};

// Keeps the floating panel beside the Simulator's device window for the life of the application:
// shown, placed and stacked directly above it while the window is found and the panel is wanted,
// hidden otherwise. Starts and ends targeting over the window (a PickSession) and hands the pick
// to the model.
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

    // Starts the follow loop, its first look at once; later calls do nothing.
    void start();
    // Starts targeting, or ends it when in progress; without accessibility access, only asks for it.
    void togglePick() override;
    // Ends targeting as the user does (Escape, the button): the keyboard goes back to the Simulator.
    void cancelPick();
    // Asks for accessibility access, then opens the desktop's settings when still not granted.
    void requestAccess() override;

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

private:
    // One look, and the next one scheduled.
    void look();
    // Something the panel depends on may have changed: a look soon.
    void changed();
    // The Simulator's device window in this look's window list.
    std::optional<SimulatorWindow> lookForWindow(bool trusted);
    void endPick(bool giveBack);
    void makePanel();
    void place(FloatingPanel& panel, const SimulatorWindow& w);

    platform::TargetingPorts m_ports;
    platform::WindowSystem& m_windows;
    Settings& m_settings;
    PanelModelInput& m_model;
    ContentFactory m_content;
    Timings m_timings;
    ScreenSource m_screens;

    FloatingPanel* m_panel = nullptr;
    PickSession* m_session = nullptr;
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
