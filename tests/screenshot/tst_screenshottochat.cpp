#include <memory>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/AppDelegate.h"
#include "app/ContentView.h"
#include "app/FloatingPanel.h"
#include "browser/BrowserTab.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserView.h"
#include "platform/IniPreferences.h"
#include "platform/PanelWindowHints.h"
#include "platform/x11/X11ClipboardService.h"
#include "platform/x11/X11ScreenCaptureService.h"
#include "support/LocalHttpServer.h"
#include "support/RecordingHotkeyService.h"
#include "support/X11Tools.h"
#include "web/WebEngineFixture.h"
#include "web/WebEngineLoader.h"

namespace {
// Records every paste event the page gets, as a chat composer reads it: the
// files of its clipboardData (each decoded to learn its size), its text,
// and which element had the focus. A composer takes a pasted file for
// itself, so the engine's own paste does not follow.
const QByteArray Recorder = R"HTML(<script>
window.pastes = [];
document.addEventListener('paste', function (event) {
    var record = {target: event.target.id || event.target.tagName, active: document.activeElement.id,
                  text: event.clipboardData.getData('text/plain'), files: [], at: performance.timeOrigin + performance.now()};
    window.pastes.push(record);
    for (const file of event.clipboardData.files) {
        const entry = {type: file.type, width: 0, height: 0};
        record.files.push(entry);
        createImageBitmap(file).then(function (bitmap) { entry.width = bitmap.width; entry.height = bitmap.height; });
    }
    if (record.files.length)
        event.preventDefault();
}, true);
</script>)HTML";

QByteArray page(const QByteArray& body)
{
    return "<!doctype html><html><head><title>Chat</title></head><body>" + body + Recorder + "</body></html>";
}

QSize xScreenSize()
{
    const QString info = X11Tools::run(QStringLiteral("xdpyinfo"), {});
    const auto match = QRegularExpression(QStringLiteral("dimensions:\\s+(\\d+)x(\\d+) pixels")).match(info);
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

bool xdotool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), args);
    if (!process.waitForStarted(5000))
        return false;
    // This process keeps serving its windows and the clipboard meanwhile.
    return QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 10000)
        && process.exitCode() == 0;
}
} // namespace

// Screenshot to chat with everything real: the panel and its Browser tool on
// the WebKitGTK engine, the X11 clipboard and capture, keys from xdotool
// and pages from a local server.
class TestScreenshotToChat : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void shortcutWithTheAddressFieldFocused();
    void shortcutAfterClickingAnotherFieldOfThePage();
    void otherToolsIgnoreTheShortcut_data();
    void otherToolsIgnoreTheShortcut();

private:
    WebView& activeView() const;
    void openPage(const QByteArray& path);
    QVariant js(const QString& script);
    QVariantList pastes();
    // The centre of a page element on the screen.
    QPoint elementOnScreen(const QString& id);
    bool clickElement(const QString& id);
    void verifyOneScreenshotPasted(const QString& focusedId);

    QTemporaryDir m_dir;
    LocalHttpServer m_server;
    std::unique_ptr<WebEngineLoader> m_engine;
    std::unique_ptr<X11ClipboardService> m_clipboard;
    std::unique_ptr<X11ScreenCaptureService> m_capture;
    std::unique_ptr<IniPreferences> m_preferences;
    RecordingHotkeyService m_hotkeys;
    NullPanelWindowHints m_hints;
    std::unique_ptr<AppDelegate> m_delegate;
    ContentView* m_view = nullptr;
};

void TestScreenshotToChat::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.isListening());
    m_server.html("/chat", page(R"(<div contenteditable="true" id="editor">notes</div>
        <textarea id="prompt-textarea"></textarea><input id="other" value="">)"));

    m_engine = std::make_unique<WebEngineLoader>(QStringList {QStringLiteral(QUILLNOOK_WEB_MODULE_PATH)});
    m_clipboard = X11ClipboardService::create();
    QVERIFY(m_clipboard);
    m_capture = std::make_unique<X11ScreenCaptureService>(*m_clipboard);
    m_preferences = std::make_unique<IniPreferences>(m_dir.filePath(QStringLiteral("Quillnook.conf")));
    m_delegate = std::make_unique<AppDelegate>(m_hotkeys, *m_preferences, m_hints, m_dir.path());
    m_delegate->setWebEngineProvider(m_engine.get());
    m_delegate->setScreenshotServices(m_clipboard.get(), m_capture.get());
    m_delegate->applicationDidFinishLaunching();
    FloatingPanel* panel = m_delegate->panel();
    QVERIFY(panel);
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    m_view = qobject_cast<ContentView*>(panel->contentView());
    QVERIFY(m_view);

    QSignalSpy ready(m_view, &ContentView::browserReady);
    m_engine->startNow();
    QVERIFY2(m_view->browserTabs() || ready.wait(30000), qPrintable(m_engine->unavailableReason()));
    m_view->setSelectedTab(ContentView::Browser);
    openPage("/chat");
}

void TestScreenshotToChat::init()
{
    QVERIFY(js(QStringLiteral("window.pastes = []; document.getElementById('other').value = ''; true")).toBool());
    m_delegate->panel()->orderFrontAndFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_delegate->panel()));
}

void TestScreenshotToChat::cleanupTestCase()
{
    m_delegate.reset();
}

WebView& TestScreenshotToChat::activeView() const
{
    return m_view->browserTabs()->activeTab()->webView();
}

void TestScreenshotToChat::openPage(const QByteArray& path)
{
    m_view->browserTabs()->activeTab()->load(m_server.url(QString::fromLatin1(path)).toString());
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("Array.isArray(window.pastes)")).toBool(), 15000);
}

QVariant TestScreenshotToChat::js(const QString& script)
{
    QVariant result;
    bool done = false;
    activeView().evaluateJavaScript(script, [&](const QVariant& value, const QString&) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&done] { return done; }, 10000))
        qWarning("The page did not answer: %s", qPrintable(script));
    return result;
}

QVariantList TestScreenshotToChat::pastes()
{
    const QString json = js(QStringLiteral("JSON.stringify(window.pastes || [])")).toString();
    return QJsonDocument::fromJson(json.toUtf8()).toVariant().toList();
}

QPoint TestScreenshotToChat::elementOnScreen(const QString& id)
{
    const QVariantList rect
        = js(QStringLiteral("(function(r) { return [r.left + r.width / 2, r.top + r.height / 2]; })("
                            "document.getElementById('%1').getBoundingClientRect())")
                 .arg(id))
              .toList();
    if (rect.size() != 2)
        return {};
    QWidget* page = activeView().widget();
    return page->mapToGlobal(QPoint(qRound(rect.at(0).toDouble()), qRound(rect.at(1).toDouble())));
}

bool TestScreenshotToChat::clickElement(const QString& id)
{
    const QPoint at = elementOnScreen(id);
    return !at.isNull()
        && xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                    QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("click"), QStringLiteral("1"),
                    QStringLiteral("sleep"), QStringLiteral("0.2")});
}

void TestScreenshotToChat::verifyOneScreenshotPasted(const QString& focusedId)
{
    QTRY_COMPARE_WITH_TIMEOUT(pastes().size(), 1, 10000);
    // The size comes once the page has decoded the file.
    QTRY_VERIFY(pastes()
                    .first()
                    .toMap()
                    .value(QStringLiteral("files"))
                    .toList()
                    .value(0)
                    .toMap()
                    .value(QStringLiteral("width"))
                    .toInt()
                > 0);
    const QVariantMap paste = pastes().first().toMap();
    const QVariantList files = paste.value(QStringLiteral("files")).toList();
    QCOMPARE(files.size(), 1);
    const QVariantMap file = files.first().toMap();
    QCOMPARE(file.value(QStringLiteral("type")).toString(), QStringLiteral("image/png"));
    QCOMPARE(QSize(file.value(QStringLiteral("width")).toInt(), file.value(QStringLiteral("height")).toInt()),
             xScreenSize());
    QCOMPARE(paste.value(QStringLiteral("active")).toString(), focusedId);
    QCOMPARE(paste.value(QStringLiteral("target")).toString(), focusedId);
    QCOMPARE(js(QStringLiteral("document.activeElement.id")).toString(), focusedId);
}

void TestScreenshotToChat::shortcutWithTheAddressFieldFocused()
{
    QLineEdit* address = m_view->browserView()->findChild<QLineEdit*>();
    QVERIFY(address);
    address->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(address->hasFocus());
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+s")}));
    verifyOneScreenshotPasted(QStringLiteral("prompt-textarea"));
}

void TestScreenshotToChat::shortcutAfterClickingAnotherFieldOfThePage()
{
    QVERIFY(clickElement(QStringLiteral("other")));
    QTRY_COMPARE(js(QStringLiteral("document.activeElement.id")).toString(), QStringLiteral("other"));
    // The page has the keyboard now: the shortcut reaches the engine, not Qt.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+s")}));
    verifyOneScreenshotPasted(QStringLiteral("prompt-textarea"));
    QCOMPARE(js(QStringLiteral("document.getElementById('other').value")).toString(), QString());
}

void TestScreenshotToChat::otherToolsIgnoreTheShortcut_data()
{
    QTest::addColumn<int>("tool");
    QTest::newRow("Notes") << int(ContentView::Notes);
    QTest::newRow("Files") << int(ContentView::Files);
}

void TestScreenshotToChat::otherToolsIgnoreTheShortcut()
{
    QFETCH(int, tool);
    m_view->setSelectedTab(tool);
    const std::uint64_t before = m_clipboard->changeCount();
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+s")}));
    QTest::qWait(500);
    QCOMPARE(m_clipboard->changeCount(), before);
    QCOMPARE(pastes().size(), 0);
    m_view->setSelectedTab(ContentView::Browser);
}

QTEST_MAIN(TestScreenshotToChat)
#include "tst_screenshottochat.moc"
