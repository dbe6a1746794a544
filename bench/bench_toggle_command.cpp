// From `quillnook --toggle` being started to the running panel's window being
// unmapped or mapped: a desktop's own key binding runs exactly this.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/BenchReport.h"
#include "support/PanelWatcher.h"
#include "support/QuillnookProcess.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace std::chrono_literals;
using BenchReport::Clock;

namespace {
// Runs `quillnook --toggle`; false when it could not be started or failed.
bool runToggle(const std::string& binary, Clock::time_point* exited)
{
    std::string toggle = "--toggle";
    char* argv[] = {const_cast<char*>(binary.c_str()), toggle.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    *exited = Clock::now();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
} // namespace

int main()
{
    constexpr int toggles = 40;
    const char* name = "toggle: `quillnook --toggle` to panel (un)mapped";
    const char* target = "p95 <= 100 ms";
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
    std::this_thread::sleep_for(500ms);

    const std::string binary = QuillnookProcess::binaryPath();
    std::vector<double> changes;
    std::vector<double> commands;
    bool shown = true;
    int missed = 0;
    for (int i = 0; i < toggles && missed < 3; ++i) {
        watcher.drain();
        const auto sent = Clock::now();
        Clock::time_point exited;
        if (!runToggle(binary, &exited)) {
            BenchReport::row(name, "`quillnook --toggle` failed", target);
            return 1;
        }
        const auto changed = watcher.waitForMapChange(panel->window, !shown, sent + 2s);
        if (!changed) {
            ++missed;
            shown = watcher.isViewable(panel->window);
            continue;
        }
        changes.push_back(BenchReport::milliseconds(*changed - sent));
        commands.push_back(BenchReport::milliseconds(exited - sent));
        shown = !shown;
        std::this_thread::sleep_for(50ms);
    }
    process.stop();
    if (changes.empty()) {
        BenchReport::row(name, "the command never toggled the panel", target);
        return 1;
    }
    const auto s = BenchReport::summarize(changes);
    const auto c = BenchReport::summarize(commands);
    std::string figure = "median " + BenchReport::number(s.median, 1) + " ms, p95 " + BenchReport::number(s.p95, 1)
        + " ms (" + std::to_string(s.count) + " toggles; the command itself: median " + BenchReport::number(c.median, 1)
        + " ms)";
    if (missed)
        figure += ", " + std::to_string(missed) + " missed";
    BenchReport::row(name, figure, target);
    return 0;
}
