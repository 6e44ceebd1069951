#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>

// The panel views' intervals and the clock the elapsed time is read from. Tests pass shorter
// intervals and a clock of their own.
struct PanelViewTimings {
    // How long the revert button waits for its second press.
    std::chrono::milliseconds revertArming{4000};
    // How often the elapsed seconds move while the agent works.
    std::chrono::milliseconds elapsedRefresh{1000};
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
};
