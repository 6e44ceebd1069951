#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>

// The panel views' intervals and the clock the elapsed time is read from. Tests pass shorter
// intervals and a clock of their own.
struct PanelViewTimings {
    // How long the revert button waits for its second press, and how long "Undo files?" must have
    // shown before a press confirms it: a sooner one is the rest of a double-click (the desktops'
    // own double-click time is 400 ms), not a decision.
    std::chrono::milliseconds revertArming{4000};
    std::chrono::milliseconds revertReading{500};
    // How often the elapsed seconds move while the agent works.
    std::chrono::milliseconds elapsedRefresh{1000};
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
};
