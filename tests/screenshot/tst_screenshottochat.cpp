#include <memory>

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "PastePage.h"
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
#include "web/WebEngineFixture.h"
#include "web/WebEngineLoader.h"

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
    QVariant js(const QString& script) { return PastePage::js(activeView(), script); }
    QVariantList pastes() { return PastePage::pastes(activeView()); }
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
    m_server.html("/chat", PastePage::html(R"(<div contenteditable="true" id="editor">notes</div>
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

void TestScreenshotToChat::verifyOneScreenshotPasted(const QString& focusedId)
{
    QTRY_COMPARE_WITH_TIMEOUT(pastes().size(), 1, 10000);
    const QVariantMap file = PastePage::firstFile(activeView());
    QCOMPARE(file.value(QStringLiteral("type")).toString(), QStringLiteral("image/png"));
    QCOMPARE(PastePage::sizeOf(file), PastePage::xScreenSize());
    const QVariantMap paste = pastes().first().toMap();
    QCOMPARE(paste.value(QStringLiteral("files")).toList().size(), 1);
    QCOMPARE(paste.value(QStringLiteral("active")).toString(), focusedId);
    QCOMPARE(paste.value(QStringLiteral("target")).toString(), focusedId);
    QCOMPARE(PastePage::activeElement(activeView()), focusedId);
}

void TestScreenshotToChat::shortcutWithTheAddressFieldFocused()
{
    QLineEdit* address = m_view->browserView()->findChild<QLineEdit*>();
    QVERIFY(address);
    address->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(address->hasFocus());
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+s")}));
    verifyOneScreenshotPasted(QStringLiteral("prompt-textarea"));
}

void TestScreenshotToChat::shortcutAfterClickingAnotherFieldOfThePage()
{
    QVERIFY(PastePage::click(activeView(), QStringLiteral("other")));
    QTRY_COMPARE(PastePage::activeElement(activeView()), QStringLiteral("other"));
    // The page has the keyboard now: the shortcut reaches the engine, not Qt.
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+s")}));
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
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+s")}));
    // A capture that rightly does not start gives nothing to wait for; one
    // that wrongly did would have changed the clipboard by now.
    QTest::qWait(500);
    QCOMPARE(m_clipboard->changeCount(), before);
    QCOMPARE(pastes().size(), 0);
    m_view->setSelectedTab(ContentView::Browser);
}

QTEST_MAIN(TestScreenshotToChat)
#include "tst_screenshottochat.moc"
