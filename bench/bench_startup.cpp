// From exec of the quillnook binary to its panel being viewable.
#include <cstdio>
#include <thread>
#include <vector>

#include "support/BenchReport.h"
#include "support/PanelWatcher.h"
#include "support/QuillnookProcess.h"

using namespace std::chrono_literals;
using BenchReport::Clock;

int main()
{
    constexpr int runs = 10;
    const char* name = "start-up: exec to panel viewable";
    const char* target = "median <= 300 ms";
    std::vector<double> samples;
    for (int run = 0; run < runs; ++run) {
        PanelWatcher watcher;
        if (!watcher.isConnected()) {
            BenchReport::row(name, "no X display", target);
            return 1;
        }
        QuillnookProcess process;
        const auto started = Clock::now();
        if (!process.start()) {
            BenchReport::row(name, "could not start " + QuillnookProcess::binaryPath(), target);
            return 1;
        }
        const auto panel = watcher.waitForViewablePanel(started + 10s);
        process.stop();
        if (!panel) {
            BenchReport::row(name, "no panel within 10 s", target);
            return 1;
        }
        samples.push_back(BenchReport::milliseconds(panel->at - started));
        std::fprintf(stderr, "start-up run %d: %.2f ms\n", run + 1, samples.back());
        // Lets the window manager finish unmanaging the last panel.
        std::this_thread::sleep_for(200ms);
    }
    const auto s = BenchReport::summarize(samples);
    BenchReport::row(name,
                     "median " + BenchReport::number(s.median) + " ms (min " + BenchReport::number(s.min) + ", max "
                         + BenchReport::number(s.max) + ", " + std::to_string(s.count) + " runs)",
                     target);
    return 0;
}
