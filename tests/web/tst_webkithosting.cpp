// How the engine's page lives inside the program's window: its window lost
// to someone else, its file chooser handed to the program's own, and files
// dropped onto it.
#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include "WebEngineFixture.h"
#include "support/LocalHttpServer.h"
#include "web/FilePaste.h"
#include "web/WebFileChooser.h"

namespace {
QVariant run(WebView& view, const QString& script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    view.evaluateJavaScript(script, [result](const QVariant& value, const QString&) { *result = value; });
    QTest::qWaitFor([&] { return result->has_value(); }, 10000);
    return result->value_or(QVariant());
}

// The page's own X window, as the program holds it.
WId pageWindow(WebView& view)
{
    for (QWindow* window : QGuiApplication::allWindows()) {
        if (window->flags().testFlag(Qt::ForeignWindow) && window->parent()
            && window->parent() == view.widget()->window()->windowHandle())
            return window->winId();
    }
    return 0;
}

// Another X client doing something to the window.
void fromOutside(WId window, bool destroy)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (destroy)
        xcb_destroy_window(connection, xcb_window_t(window));
    else
        xcb_unmap_window(connection, xcb_window_t(window));
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
}

// The windows mapped as children of the root window (top-levels) since the
// watch began, as another X client sees them.
class RootMapWatch
{
public:
    RootMapWatch()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, screen->root, XCB_CW_EVENT_MASK, &mask);
        m_root = screen->root;
        roundTrip();
    }
    ~RootMapWatch() { xcb_disconnect(m_connection); }

    QSet<xcb_window_t> mapped()
    {
        roundTrip();
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->event == m_root)
                    m_mapped.insert(map->window);
            }
            free(event);
        }
        return m_mapped;
    }

private:
    void roundTrip() { free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
    QSet<xcb_window_t> m_mapped;
};

// Every page window the program holds now.
QSet<xcb_window_t> pageWindows()
{
    QSet<xcb_window_t> ids;
    for (QWindow* window : QGuiApplication::allWindows()) {
        if (window->flags().testFlag(Qt::ForeignWindow))
            ids.insert(xcb_window_t(window->winId()));
    }
    return ids;
}

// Answers file choosers as the test says, and records what was asked.
class RecordingChooser final : public WebFileChooser
{
public:
    QList<WebFileChooserRequest> requests;
    std::optional<QStringList> answer;

    void webViewRunFileChooser(WebView&, const WebFileChooserRequest& request,
                               std::function<void(std::optional<QStringList>)> completion) override
    {
        requests.append(request);
        completion(answer);
    }
};
} // namespace

class TestWebKitHosting : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private:
    LocalHttpServer m_server;
    WebEngine* m_engine = nullptr;
    std::unique_ptr<WebView> m_view;
    RecordingDelegates m_delegates;
    RecordingChooser m_chooser;
    QWidget m_window;
    QTemporaryDir m_files;

    bool open(const char* path)
    {
        const int before = m_delegates.finished;
        m_view->load(m_server.url(QString::fromLatin1(path)));
        return QTest::qWaitFor([&] { return m_delegates.finished > before; }, 15000);
    }
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_files.filePath(name));
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
            return {};
        return file.fileName();
    }
    // A click on the page's file field: the page may open a chooser only
    // from a user's action.
    void clickField()
    {
        const QPoint at = m_view->widget()->mapToGlobal(QPoint(100, 50));
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                           QStringLiteral("click"), QStringLiteral("1")});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isListening());
        m_server.html("/one", "<title>One</title><p>one");
        m_server.html("/colour", "<title>Colour</title><body style='margin:0;background:#3366cc'>");
        const QByteArray report
            = "<script>f.onchange = () => document.title = 'chosen:' + "
              "[...f.files].map(x => (x.webkitRelativePath || x.name) + '=' + x.size).sort().join(',');"
              "</script>";
        m_server.html("/files",
                      "<title>Files</title><body style='margin:0'><input id=f type=file multiple "
                      "accept='.txt,image/*' style='width:100%;height:200px'>"
                          + report);
        m_server.html("/folder",
                      "<title>Folder</title><body style='margin:0'><input id=f type=file webkitdirectory "
                      "style='width:100%;height:200px'>"
                          + report);
        m_server.html("/drop",
                      "<title>Drop</title><body style='margin:0;height:100vh'><script>"
                      "document.body.ondragover = e => e.preventDefault();"
                      "document.body.ondrop = e => { e.preventDefault(); document.title = 'dropped:' + "
                      "[...e.dataTransfer.files].map(x => x.name + '=' + x.size + ':' + x.type).join(',') "
                      "+ '@' + e.clientX + ',' + e.clientY; };</script>");
        m_engine = loadedEngine();
        QVERIFY(m_engine);
        m_window.resize(600, 500);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    }

    void init()
    {
        m_delegates = RecordingDelegates();
        m_chooser.requests.clear();
        WebViewOptions options;
        m_view = m_engine->createView(options);
        m_view->setNavigationDelegate(&m_delegates);
        m_view->setUiDelegate(&m_delegates);
        m_view->setFileChooser(&m_chooser);
        m_view->widget()->setParent(&m_window);
        m_view->widget()->setGeometry(0, 0, 600, 500);
        m_view->widget()->show();
    }

    void cleanup() { m_view.reset(); }

    void aLostWindowShowsTheCrashStateAndReloadMendsIt_data()
    {
        QTest::addColumn<bool>("destroyed");
        QTest::newRow("unmapped by another program") << false;
        QTest::newRow("destroyed by another program") << true;
    }
    void aLostWindowShowsTheCrashStateAndReloadMendsIt()
    {
        QFETCH(bool, destroyed);
        QVERIFY(open("/one"));
        const WId before = pageWindow(*m_view);
        QVERIFY(before);
        QSignalSpy terminated(m_view.get(), &WebView::webProcessTerminated);
        fromOutside(before, destroyed);
        QVERIFY(terminated.wait(5000));

        m_view->reload();
        QTRY_VERIFY(m_delegates.finished >= 2);
        const WId after = pageWindow(*m_view);
        QVERIFY(after);
        QCOMPARE(run(*m_view, QStringLiteral("document.title")).toString(), QStringLiteral("One"));
        // The new window is inside the program's and shown.
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, xcb_window_t(after)), nullptr);
        QVERIFY(attributes);
        QCOMPARE(int(attributes->map_state), int(XCB_MAP_STATE_VIEWABLE));
        free(attributes);
        xcb_disconnect(connection);
        QCOMPARE(terminated.size(), 1);
    }

    void pageChangesAreRedrawn()
    {
        QVERIFY(open("/colour"));
        const QPoint at = m_view->widget()->mapToGlobal(QPoint(300, 250));
        auto pixel = [at] {
            return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
        };
        QTRY_COMPARE_WITH_TIMEOUT(pixel(), QColor(0x33, 0x66, 0xcc), 10000);
        run(*m_view, QStringLiteral("document.body.style.background = '#cc6633'"));
        QTRY_COMPARE_WITH_TIMEOUT(pixel(), QColor(0xcc, 0x66, 0x33), 10000);
    }

    // A page window mapped on the root window, even off screen for a moment,
    // can stay redirected by a compositing window manager after the program
    // adopts it, and the page then never reaches the screen.
    void pageWindowsAreFirstMappedInsideTheProgramsWindow()
    {
        RootMapWatch watch;
        // The view made anew with the watch on.
        m_view.reset();
        init();
        QSet<xcb_window_t> pages;
        // Made while the program's window is shown, hidden and shown again,
        // made anew after the window was lost, and made hidden and shown later.
        QVERIFY(open("/colour"));
        pages += pageWindows();
        m_view->widget()->hide();
        m_view->widget()->show();
        QVERIFY2((watch.mapped() & pages).isEmpty(), "a page window was mapped on the root window");
        QSignalSpy terminated(m_view.get(), &WebView::webProcessTerminated);
        fromOutside(pageWindow(*m_view), false);
        QVERIFY(terminated.wait(5000));
        m_view->reload();
        QTRY_VERIFY(m_delegates.finished >= 2);
        pages += pageWindows();
        std::unique_ptr<WebView> hidden = m_engine->createView(WebViewOptions());
        hidden->widget()->hide();
        hidden->widget()->setParent(&m_window);
        hidden->widget()->setGeometry(0, 0, 300, 200);
        hidden->widget()->show();
        QTRY_VERIFY(hidden->widget()->isVisible());
        pages += pageWindows();
        QVERIFY(pages.size() >= 3);

        const QSet<xcb_window_t> onRoot = watch.mapped() & pages;
        QVERIFY2(onRoot.isEmpty(), "a page window was mapped on the root window");
        // And the page shown is drawn where it sits.
        const QPoint at = m_view->widget()->mapToGlobal(QPoint(500, 400));
        QTRY_COMPARE_WITH_TIMEOUT(
            QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0),
            QColor(0x33, 0x66, 0xcc), 10000);
    }

    void theFileChooserGoesToTheProgram()
    {
        const QString text = writeFile(QStringLiteral("a.txt"), "12345");
        const QString image = writeFile(QStringLiteral("b.png"), "123");
        QVERIFY(open("/files"));

        // Cancelled: the field stays empty and the page hears nothing.
        m_chooser.answer = std::nullopt;
        clickField();
        QTRY_COMPARE(m_chooser.requests.size(), 1);
        const WebFileChooserRequest asked = m_chooser.requests.first();
        QVERIFY(asked.multiple);
        QVERIFY(!asked.directory);
        QVERIFY2(asked.patterns.contains(QStringLiteral("*.txt")),
                 qPrintable(asked.patterns.join(u' ') + u'|' + asked.mimeTypes.join(u' ')));
        QVERIFY2(asked.mimeTypes.contains(QStringLiteral("image/*")), qPrintable(asked.mimeTypes.join(u' ')));
        QCOMPARE(run(*m_view, QStringLiteral("f.files.length")).toInt(), 0);

        m_chooser.answer = QStringList {text, image};
        clickField();
        QTRY_COMPARE(m_chooser.requests.size(), 2);
        QTRY_COMPARE(m_view->title(), QStringLiteral("chosen:a.txt=5,b.png=3"));
    }

    void aFolderFieldAsksForAFolderAndGetsItsFiles()
    {
        writeFile(QStringLiteral("album/one.txt"), "1");
        writeFile(QStringLiteral("album/two.txt"), "22");
        QVERIFY(open("/folder"));
        m_chooser.answer = QStringList {m_files.filePath(QStringLiteral("album"))};
        clickField();
        QTRY_COMPARE(m_chooser.requests.size(), 1);
        QVERIFY(m_chooser.requests.first().directory);
        QTRY_COMPARE(m_view->title(), QStringLiteral("chosen:one.txt=1,two.txt=2"));
    }

    void droppedFilesReachThePagesDropEvent()
    {
        const QString file = writeFile(QStringLiteral("c.txt"), "hello");
        QVERIFY(open("/drop"));
        // As the browser view installs it on every page.
        FilePaste::acceptFileDrops(*m_view);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        QWidget* target = m_view->widget();
        QDragEnterEvent enter(QPoint(120, 80), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(120, 80), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_VERIFY2(m_view->title().startsWith(QLatin1String("dropped:c.txt=5")), qPrintable(m_view->title()));

        // Another program whose data no longer comes at the drop: the files
        // it offered while over the page are dropped; after it left, nothing.
        QVERIFY(open("/drop"));
        QTRY_VERIFY(!m_view->title().startsWith(QLatin1String("dropped:")));
        QMimeData gone;
        QDragEnterEvent again(QPoint(120, 80), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &again);
        QDropEvent late(QPointF(120, 80), Qt::CopyAction, &gone, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &late);
        QVERIFY(late.isAccepted());
        QTRY_VERIFY2(m_view->title().startsWith(QLatin1String("dropped:c.txt=5")), qPrintable(m_view->title()));
        QDragEnterEvent third(QPoint(120, 80), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &third);
        QDragLeaveEvent leave;
        QApplication::sendEvent(target, &leave);
        QDropEvent stray(QPointF(120, 80), Qt::CopyAction, &gone, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &stray);
        QVERIFY(!stray.isAccepted());
    }
};

QTEST_MAIN(TestWebKitHosting)
#include "tst_webkithosting.moc"
