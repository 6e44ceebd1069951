#pragma once

#include <chrono>

// The panel's intervals. Tests pass shorter ones.
struct PanelTimings {
    // From the last change of the preview's refresh key to the preview request.
    std::chrono::milliseconds previewDelay{300};
    // Between polling passes while a report is being worked on, and otherwise.
    std::chrono::milliseconds fastPoll{1500};
    std::chrono::milliseconds slowPoll{5000};
    // The longest a bridge request may go without progress.
    std::chrono::milliseconds requestTimeout{15000};
};
