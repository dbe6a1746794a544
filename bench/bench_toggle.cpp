// From the global shortcut leaving the keyboard to the panel's window being
// unmapped or mapped, alternately.
#include <cstdio>
#include <thread>
#include <vector>

#include "support/BenchReport.h"
#include "support/FakeKeyboard.h"
#include "support/PanelWatcher.h"
#include "support/QuillnookProcess.h"

using namespace std::chrono_literals;
using BenchReport::Clock;

namespace {
// The default shortcut, Shift+Ctrl+X.
constexpr std::uint32_t shiftL = 0xffe1;
constexpr std::uint32_t controlL = 0xffe3;
constexpr std::uint32_t lowerX = 0x0078;
} // namespace

int main()
{
    constexpr int toggles = 100;
    const char* name = "toggle: shortcut to panel (un)mapped";
    const char* target = "p95 <= 16 ms";
    FakeKeyboard keyboard;
    if (!keyboard.setChord({shiftL, controlL, lowerX})) {
        BenchReport::row(name, "no XTEST or no keys for Shift+Ctrl+X", target);
        return 1;
    }
    PanelWatcher watcher;
    QuillnookProcess process;
    const auto started = Clock::now();
    if (!watcher.isConnected() || !process.start()) {
        BenchReport::row(name, "could not start", target);
        return 1;
    }
    const auto panel = watcher.waitForViewablePanel(started + 10s);
    if (!panel) {
        BenchReport::row(name, "no panel within 10 s", target);
        return 1;
    }
    // Start-up work (first paint, hints applied after the map) is not what
    // is measured here.
    std::this_thread::sleep_for(500ms);

    std::vector<double> hides;
    std::vector<double> shows;
    bool shown = true;
    int missed = 0;
    for (int i = 0; i < toggles; ++i) {
        watcher.drain();
        keyboard.sendChord();
        const auto sent = Clock::now();
        const auto changed = watcher.waitForMapChange(panel->window, !shown, sent + 1s);
        if (!changed) {
            ++missed;
            std::fprintf(stderr, "toggle %d: no %s within 1 s\n", i + 1, shown ? "unmap" : "map");
            if (missed >= 3)
                break;
            shown = watcher.isViewable(panel->window);
            continue;
        }
        (shown ? hides : shows).push_back(BenchReport::milliseconds(*changed - sent));
        std::fprintf(stderr, "toggle %d (%s): %.2f ms\n", i + 1, shown ? "hide" : "show",
                     BenchReport::milliseconds(*changed - sent));
        shown = !shown;
        // Spaced like a person's presses, so one toggle never queues behind
        // the last one's repaint.
        std::this_thread::sleep_for(50ms);
    }
    process.stop();

    std::vector<double> all = hides;
    all.insert(all.end(), shows.begin(), shows.end());
    if (all.empty()) {
        BenchReport::row(name, "the shortcut never toggled the panel", target);
        return 1;
    }
    const auto s = BenchReport::summarize(all);
    const auto h = BenchReport::summarize(hides);
    const auto w = BenchReport::summarize(shows);
    std::string figure = "median " + BenchReport::number(s.median, 2) + " ms, p95 " + BenchReport::number(s.p95, 2)
        + " ms (" + std::to_string(s.count) + " toggles; hide p95 " + BenchReport::number(h.p95, 2) + ", show p95 "
        + BenchReport::number(w.p95, 2) + ")";
    if (missed)
        figure += ", " + std::to_string(missed) + " missed";
    BenchReport::row(name, figure, target);
    return 0;
}
