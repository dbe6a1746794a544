// The web engine's costs: exec to engine ready and to the first page, and the
// memory of two pages (the program and every process below it), beside
// Debian's Chromium showing the same two pages in two app windows.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "support/BenchReport.h"
#include "support/LocalHttpServer.h"
#include "support/ProcessTree.h"

#include <unistd.h>

namespace {
bool waitFor(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void settle(int milliseconds)
{
    waitFor([] { return false; }, milliseconds);
}

QList<int> tree(int root)
{
    const QHash<int, int> parent = processParents();
    QList<int> found {root};
    for (auto it = parent.cbegin(); it != parent.cend(); ++it) {
        for (int up = it.value(); up > 1; up = parent.value(up)) {
            if (up == root) {
                found.append(it.key());
                break;
            }
        }
    }
    return found;
}

// PSS of a process and all below it, in MB, and how many they are.
std::pair<double, int> treePss(int root)
{
    double kilobytes = 0;
    const QList<int> pids = tree(root);
    for (int pid : pids) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:"))
                kilobytes += line.mid(4).trimmed().split(' ').first().toDouble();
        }
    }
    return {kilobytes * 1024 / 1e6, int(pids.size())};
}

void stopTree(QProcess& process)
{
    const QList<int> pids = tree(int(process.processId()));
    for (int pid : pids)
        ::kill(pid, SIGTERM);
    if (!process.waitForFinished(5000))
        process.kill();
    for (int pid : pids)
        ::kill(pid, SIGKILL);
}

struct Probe
{
    QProcess process;
    QHash<QByteArray, long long> milestones;

    void start(const QStringList& args, const QHash<QString, QString>& environment)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] {
            while (process.canReadLine()) {
                const QList<QByteArray> words = process.readLine().trimmed().split(' ');
                milestones.insert(words.value(0), words.value(1).toLongLong());
            }
        });
        process.start(QStringLiteral(BENCH_WEB_PROBE), args);
    }
    bool has(const char* milestone) const { return milestones.contains(milestone); }
};

long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QByteArray page(const QByteArray& title)
{
    QByteArray body = "<!doctype html><title>" + title + "</title><style>p{font:16px sans-serif}</style><h1>" + title
        + "</h1><textarea rows=5 cols=60></textarea>";
    for (int i = 0; i < 40; ++i)
        body += "<p>Paragraph " + QByteArray::number(i) + " of a page kept open beside the notes.</p>";
    return body + "<script>document.querySelector('textarea').value = 'ready';</script>";
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    LocalHttpServer server;
    server.html("/one", page("First page"));
    server.html("/two", page("Second page"));
    const QString one = server.url(QStringLiteral("/one")).toString();
    const QString two = server.url(QStringLiteral("/two")).toString();

    // Start: ten cold starts of a window with the engine loaded after it.
    std::vector<double> ready, loaded;
    for (int run = 0; run < 10; ++run) {
        Probe probe;
        const long long started = nowNs();
        probe.start({one}, {});
        if (!waitFor([&] { return probe.has("all") || probe.process.state() == QProcess::NotRunning; }, 30000)
            || !probe.has("all")) {
            BenchReport::row("web: exec to engine ready", "probe failed", "-");
            stopTree(probe.process);
            return 1;
        }
        ready.push_back((probe.milestones.value("ready") - started) / 1e6);
        loaded.push_back((probe.milestones.value("loaded") - started) / 1e6);
        std::fprintf(stderr, "web start run %d: ready %.1f ms, page %.1f ms\n", run + 1, ready.back(), loaded.back());
        stopTree(probe.process);
    }
    const auto r = BenchReport::summarize(ready);
    const auto l = BenchReport::summarize(loaded);
    BenchReport::row("web: exec to engine ready (window first)",
                     "median " + BenchReport::number(r.median) + " ms (min " + BenchReport::number(r.min) + ", max "
                         + BenchReport::number(r.max) + ")",
                     "(for reference)");
    BenchReport::row("web: exec to first local page loaded",
                     "median " + BenchReport::number(l.median) + " ms (min " + BenchReport::number(l.min) + ", max "
                         + BenchReport::number(l.max) + ")",
                     "(for reference)");

    // Memory: two views on two local pages, per renderer choice. As shipped,
    // the DMA-BUF renderer is off (158 MB against 277 MB with it on, here).
    const QList<std::pair<QString, QHash<QString, QString>>> variants {
        {QStringLiteral("as shipped"), {}},
        {QStringLiteral("DMA-BUF renderer on"),
         {{QStringLiteral("WEBKIT_DISABLE_DMABUF_RENDERER"), QStringLiteral("0")}}},
        {QStringLiteral("no accelerated compositing"),
         {{QStringLiteral("WEBKIT_DISABLE_COMPOSITING_MODE"), QStringLiteral("1")}}},
    };
    double webkit = 0;
    for (const auto& [name, environment] : variants) {
        Probe probe;
        probe.start({QStringLiteral("--hold"), one, two}, environment);
        if (!waitFor([&] { return probe.has("all"); }, 30000)) {
            BenchReport::row("web memory: " + name.toStdString(), "probe failed", "-");
            stopTree(probe.process);
            continue;
        }
        settle(3000);
        const auto [pss, processes] = treePss(int(probe.process.processId()));
        if (webkit == 0)
            webkit = pss;
        BenchReport::row("web memory: PSS, two pages, WebKitGTK " + name.toStdString(),
                         BenchReport::number(pss) + " MB (" + std::to_string(processes) + " processes)",
                         "<= 0.75 x Chromium");
        stopTree(probe.process);
        settle(500);
    }

    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty()) {
        BenchReport::row("web memory: PSS, two pages, Chromium", "chromium not installed", "-");
        return 0;
    }
    QTemporaryDir profile;
    QStringList common {QStringLiteral("--user-data-dir=") + profile.path(), QStringLiteral("--no-first-run"),
                        QStringLiteral("--no-default-browser-check"), QStringLiteral("--password-store=basic")};
    // Chromium refuses to run as root with its sandbox.
    if (::geteuid() == 0)
        common << QStringLiteral("--no-sandbox");
    QProcess browser;
    browser.start(chromium, common + QStringList {QStringLiteral("--app=") + one});
    waitFor([&] { return !server.requestsFor("/one").isEmpty(); }, 30000);
    settle(2000);
    QProcess::execute(chromium, common + QStringList {QStringLiteral("--app=") + two});
    waitFor([&] { return !server.requestsFor("/two").isEmpty(); }, 30000);
    settle(4000);
    const auto [pss, processes] = treePss(int(browser.processId()));
    BenchReport::row("web memory: PSS, two pages, Chromium (two app windows)",
                     BenchReport::number(pss) + " MB (" + std::to_string(processes) + " processes)", "(reference)");
    if (pss > 0)
        BenchReport::row("web memory: WebKitGTK as shipped / Chromium", BenchReport::number(webkit / pss, 2),
                         "<= 0.75");
    stopTree(browser);
    return 0;
}
