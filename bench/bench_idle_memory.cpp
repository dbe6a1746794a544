// Memory of the idle program, three seconds after it was started.
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "support/BenchReport.h"
#include "support/PanelWatcher.h"
#include "support/QuillnookProcess.h"

using namespace std::chrono_literals;
using BenchReport::Clock;

namespace {
// The kB value of the first "key:" line in a /proc file.
std::optional<double> procKilobytes(const std::string& path, const std::string& key)
{
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind(key + ':', 0) == 0)
            return std::stod(line.substr(key.size() + 1));
    }
    return std::nullopt;
}

std::string megabytes(std::optional<double> kilobytes)
{
    if (!kilobytes)
        return "unreadable";
    return BenchReport::number(*kilobytes * 1024 / 1e6) + " MB";
}
} // namespace

int main()
{
    const char* rssName = "idle memory: RSS 3 s after start";
    const char* pssName = "idle memory: PSS 3 s after start";
    const char* rssTarget = "<= 60 MB";
    const char* pssTarget = "(for reference)";
    PanelWatcher watcher;
    QuillnookProcess process;
    const auto started = Clock::now();
    if (!watcher.isConnected() || !process.start()) {
        BenchReport::row(rssName, "could not start", rssTarget);
        return 1;
    }
    if (!watcher.waitForViewablePanel(started + 10s)) {
        BenchReport::row(rssName, "no panel within 10 s", rssTarget);
        return 1;
    }
    std::this_thread::sleep_until(started + 3s);
    const std::string proc = "/proc/" + std::to_string(process.pid());
    const auto rss = procKilobytes(proc + "/status", "VmRSS");
    const auto pss = procKilobytes(proc + "/smaps_rollup", "Pss");
    const bool alive = process.isRunning();
    process.stop();
    if (!alive) {
        BenchReport::row(rssName, "quit before 3 s", rssTarget);
        return 1;
    }
    BenchReport::row(rssName, megabytes(rss), rssTarget);
    BenchReport::row(pssName, megabytes(pss), pssTarget);
    return 0;
}
