// Opens one page with the real engine and says how it ended, then quits: a
// run of its own, so that tests can restart the engine's processes over the
// same site data. Usage: webpage_probe URL
#include <cstdio>

#include <QApplication>
#include <QTimer>

#include "WebEngineFixture.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillnook"));
    if (argc < 2)
        return 2;
    WebEngine* engine = loadedEngine();
    if (!engine)
        return 3;
    auto view = engine->createView({});
    RecordingDelegates delegates;
    view->setNavigationDelegate(&delegates);
    view->load(QUrl::fromUserInput(QString::fromLocal8Bit(argv[1])));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (delegates.outcomes() > 0)
            app.exit(delegates.finished == 1 ? 0 : 1);
    });
    poll.start(20);
    QTimer::singleShot(20000, &app, [&] { app.exit(4); });
    const int code = QApplication::exec();
    std::printf("%s\n", qPrintable(view->title()));
    return code;
}
