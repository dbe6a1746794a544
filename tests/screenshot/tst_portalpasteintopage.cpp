#include <cstdio>
#include <memory>

#include <QDBusConnection>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include "PastePage.h"
#include "base/Notices.h"
#include "platform/portal/PortalScreenCaptureService.h"
#include "platform/x11/X11ClipboardService.h"
#include "screenshot/ScreenshotPaster.h"
#include "support/FakePortal.h"
#include "support/LocalHttpServer.h"
#include "support/PrivateSessionBus.h"
#include "web/WebEngineFixture.h"

// The Wayland way, end to end: the desktop's screenshot portal (a fake on a
// private session bus) hands over a file, and the screenshot paster puts its
// image into a real page on the WebKitGTK engine.
class TestPortalPasteIntoPage : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private slots:
    void portalScreenshotReachesTheChatBoxAsAFile();
};

void TestPortalPasteIntoPage::portalScreenshotReachesTheChatBoxAsAFile()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    PrivateSessionBus bus;
    QVERIFY2(!bus.address().isEmpty(), "needs dbus-daemon");
    QDBusConnection portalBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("portal"));
    QDBusConnection clientBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("client"));
    FakePortal portal;
    QVERIFY(portal.start(portalBus));

    // The desktop's picture: a size no screen has, so the page can only have
    // got it from the portal's file.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shot = dir.filePath(QStringLiteral("Screenshot from the desktop.png"));
    QImage picture(321, 123, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QPainter(&picture).fillRect(10, 10, 40, 20, Qt::magenta);
    QVERIFY(picture.save(shot, "PNG"));
    portal.screenshotUri = QUrl::fromLocalFile(shot).toString();

    WebEngine* engine = loadedEngine();
    QVERIFY(engine);
    auto clipboard = X11ClipboardService::create();
    QVERIFY(clipboard);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> messages(std::tmpfile(), &std::fclose);
    QVERIFY(messages);
    const Notices::Redirect notices(messages.get());
    PortalScreenCaptureService capture(clientBus);

    QWidget window;
    window.resize(600, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    std::unique_ptr<WebView> view = engine->createView(WebViewOptions {});
    view->widget()->setParent(&window);
    view->widget()->setGeometry(0, 0, 600, 500);
    view->widget()->show();
    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.html("/chat", PastePage::html(R"(<textarea id="notes"></textarea>
        <div id="prompt-textarea" contenteditable="true"></div>)"));
    view->load(server.url(QStringLiteral("/chat")));
    QTRY_VERIFY_WITH_TIMEOUT(PastePage::js(*view, QStringLiteral("Array.isArray(window.pastes)")).toBool(), 15000);

    QList<bool> completions;
    int beeps = 0;
    ScreenshotPaster::captureAndPaste(*view, [&completions](bool pasted) { completions.append(pasted); },
                                      {*clipboard, capture, [&beeps] { ++beeps; }});
    QTRY_COMPARE_WITH_TIMEOUT(completions, QList<bool> {true}, 10000);
    QCOMPARE(portal.screenshotOptions.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(PastePage::pastes(*view).size(), 1, 10000);
    const QVariantMap paste = PastePage::pastes(*view).first().toMap();
    QCOMPARE(paste.value(QStringLiteral("target")).toString(), QStringLiteral("prompt-textarea"));
    QCOMPARE(paste.value(QStringLiteral("files")).toList().size(), 1);
    const QVariantMap file = PastePage::firstFile(*view);
    QCOMPARE(file.value(QStringLiteral("type")).toString(), QStringLiteral("image/png"));
    QCOMPARE(PastePage::sizeOf(file), QSize(321, 123));
    // The desktop's file does not outlive the capture.
    QVERIFY(!QFile::exists(shot));
    QCOMPARE(beeps, 0);
    QCOMPARE(std::ftell(messages.get()), 0L);
    // One capture, one paste: nothing follows it. The engine gives no sign
    // that no second paste comes, so allow it a moment.
    QTest::qWait(200);
    QCOMPARE(PastePage::pastes(*view).size(), 1);
    QCOMPARE(completions.size(), 1);

    view.reset();
    // The clipboard still holds the screenshot; a later test should not find it.
    clipboard->setImage(QImage(1, 1, QImage::Format_RGB32));
}

QTEST_MAIN(TestPortalPasteIntoPage)
#include "tst_portalpasteintopage.moc"
