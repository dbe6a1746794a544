#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "BenchReport.h"

// Watches the X server of $DISPLAY from a connection of its own for the
// panel: the top-level window with WM_CLASS instance "quillnook" and title
// "Quillnook". Event driven, so a time is taken when the event arrives, not
// when a poll happens to look. Make it before starting the program, so that
// the panel's creation is seen.
class PanelWatcher
{
public:
    using Clock = BenchReport::Clock;

    struct Sighting
    {
        std::uint32_t window = 0;
        Clock::time_point at;
    };

    PanelWatcher();
    ~PanelWatcher();
    PanelWatcher(const PanelWatcher&) = delete;
    PanelWatcher& operator=(const PanelWatcher&) = delete;

    bool isConnected() const;

    // The panel as it becomes viewable (it and its frame mapped).
    std::optional<Sighting> waitForViewablePanel(Clock::time_point deadline);
    // When the window's own MapNotify (mapped) or UnmapNotify arrives.
    std::optional<Clock::time_point> waitForMapChange(std::uint32_t window, bool mapped, Clock::time_point deadline);
    bool isViewable(std::uint32_t window);
    // Handles what has already arrived, so later waits see only new events.
    void drain();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
