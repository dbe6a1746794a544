// The engine as Quillnook starts it, for bench_web: a window is shown, the
// loader waits for it, then one view per address loads. Prints milestones in
// steady-clock nanoseconds ("ready", "loaded", "all") on stdout.
// Usage: bench_web_probe [--hold] URL...  (--hold: stay up until killed)
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include <QApplication>
#include <QHBoxLayout>
#include <QTimer>
#include <QWidget>

#include "web/WebEngineLoader.h"
#include "web/WebView.h"

namespace {
void milestone(const char* name)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("%s %lld\n", name, static_cast<long long>(std::chrono::nanoseconds(now).count()));
    std::fflush(stdout);
}

class Counter final : public WebNavigationDelegate
{
public:
    int finished = 0;
    int failed = 0;
    void webViewDidFinishNavigation(WebView&) override { ++finished; }
    void webViewDidFailProvisionalNavigation(WebView&, const QString&) override { ++failed; }
    void webViewDidFailNavigation(WebView&, const QString&) override { ++failed; }
};
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillnook"));
    QStringList urls = QApplication::arguments().mid(1);
    const bool hold = urls.removeAll(QStringLiteral("--hold")) > 0;

    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    window.resize(1000, 700);
    window.show();
    WebEngineLoader loader({QStringLiteral(QUILLNOOK_WEB_MODULE_PATH)});
    std::vector<std::unique_ptr<WebView>> views;
    Counter counter;

    QObject::connect(&loader, &WebEngineProvider::unavailable, &app, [&app](const QString& reason) {
        std::printf("unavailable %s\n", qPrintable(reason));
        app.exit(1);
    });
    QObject::connect(&loader, &WebEngineProvider::ready, &app, [&] {
        milestone("ready");
        for (const QString& url : std::as_const(urls)) {
            views.push_back(loader.engine()->createView({}));
            views.back()->setNavigationDelegate(&counter);
            layout->addWidget(views.back()->widget());
            views.back()->load(QUrl(url));
        }
    });
    QTimer poll;
    int reported = 0;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (counter.failed > 0) {
            std::printf("failed\n");
            app.exit(1);
        }
        if (counter.finished > reported && reported == 0)
            milestone("loaded");
        reported = counter.finished;
        if (!urls.isEmpty() && reported == urls.size()) {
            poll.stop();
            milestone("all");
            if (!hold)
                app.exit(0);
        }
    });
    poll.start(5);
    loader.start();
    return QApplication::exec();
}
