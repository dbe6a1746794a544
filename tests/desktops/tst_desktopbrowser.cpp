// The browser in the panel, checked on whatever desktop session it runs in:
// scripts/test-desktops runs it under openbox, xfwm4, mutter, GNOME Shell and
// KWin. What the user sees is read from the screen itself: through the X
// server, or through GNOME Shell's screenshot interface on its Wayland
// session (QUILLNOOK_SCREEN=gnome-shell).
#include <QApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "app/PanelGeometry.h"
#include "browser/BrowserTab.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserView.h"
#include "browser/WebDialogHandler.h"
#include "platform/x11/X11PanelWindowHints.h"
#include "support/LocalHttpServer.h"
#include "support/X11Tools.h"
#include "web/WebEngineFixture.h"
#include "web/WebFileDialog.h"

using namespace X11Tools;

namespace {
const QColor Blue(0x33, 0x66, 0xcc);
const QColor Orange(0xcc, 0x66, 0x33);

// The screen's pixels in `area`.
QImage screenImage(const QRect& area)
{
    if (qEnvironmentVariable("QUILLNOOK_SCREEN") == QLatin1String("gnome-shell")) {
        static QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("screen.png"));
        QFile::remove(path);
        QDBusInterface shell(QStringLiteral("org.gnome.Shell.Screenshot"),
                             QStringLiteral("/org/gnome/Shell/Screenshot"),
                             QStringLiteral("org.gnome.Shell.Screenshot"));
        shell.call(QStringLiteral("Screenshot"), false, false, path);
        return QImage(path).copy(area).convertToFormat(QImage::Format_RGB32);
    }
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The share of the image's pixels within a small distance of the colour.
double shareOf(const QImage& image, const QColor& colour)
{
    int near = 0, all = 0;
    const QRect inside = image.rect();
    for (int y = inside.top(); y <= inside.bottom(); y += 3) {
        for (int x = inside.left(); x <= inside.right(); x += 3) {
            const QColor pixel = image.pixelColor(x, y);
            ++all;
            if (qAbs(pixel.red() - colour.red()) + qAbs(pixel.green() - colour.green())
                    + qAbs(pixel.blue() - colour.blue())
                < 30)
                ++near;
        }
    }
    return all ? double(near) / all : 0;
}

// Lets the event loop run for a while.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits for the condition in a running event loop, as the program's own
// would. QTest::qWaitFor polls and sleeps in between: GTK's paint cycle, at an
// idle priority below Qt's, then rarely gets its turn, and a page seems not to
// repaint when the program itself would have.
template<typename Condition> bool waitFor(Condition condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        pause(50);
    }
    return true;
}

// QTRY_* in the same way as waitFor().
#define LOOP_VERIFY_WITH_TIMEOUT(expr, timeout) QVERIFY(waitFor([&] { return bool(expr); }, timeout))
#define LOOP_VERIFY(expr) LOOP_VERIFY_WITH_TIMEOUT(expr, 5000)
#define LOOP_VERIFY2(expr, message) QVERIFY2(waitFor([&] { return bool(expr); }, 5000), message)
#define LOOP_COMPARE_WITH_TIMEOUT(actual, expected, timeout)                                                           \
    do {                                                                                                               \
        waitFor([&] { return (actual) == (expected); }, timeout);                                                      \
        QCOMPARE(actual, expected);                                                                                    \
    } while (false)
#define LOOP_COMPARE(actual, expected) LOOP_COMPARE_WITH_TIMEOUT(actual, expected, 5000)

bool showsColour(const QRect& area, const QColor& colour, int timeoutMs = 10000)
{
    QImage last;
    const bool shown = waitFor(
        [&] {
            last = screenImage(area);
            return shareOf(last, colour) > 0.9;
        },
        timeoutMs);
    // What was on screen instead, for the one reading the failure.
    if (!shown && qEnvironmentVariableIsSet("QUILLNOOK_SCREEN_DUMP"))
        last.save(qEnvironmentVariable("QUILLNOOK_SCREEN_DUMP")
                  + QStringLiteral("/%1-%2.png")
                        .arg(QString::fromLatin1(QTest::currentTestFunction()))
                        .arg(colour.name().mid(1)));
    return shown;
}

QVariant evaluate(WebView& view, const QString& script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    view.evaluateJavaScript(script, [result](const QVariant& value, const QString&) { *result = value; });
    waitFor([&] { return result->has_value(); }, 10000);
    return result->value_or(QVariant());
}

QList<quint32> windowList(const char* property)
{
    QList<quint32> ids;
    const QString text = run(QStringLiteral("xprop"), {QStringLiteral("-root"), QString::fromLatin1(property)});
    const QStringList parts = text.section(QLatin1Char('#'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& part : parts)
        ids.append(part.trimmed().toUInt(nullptr, 16));
    return ids;
}

// The pages' own X windows: the foreign windows Qt holds.
QList<quint32> pageWindows()
{
    QList<quint32> ids;
    const QWindowList windows = QGuiApplication::allWindows();
    for (QWindow* window : windows) {
        if (window->flags().testFlag(Qt::ForeignWindow))
            ids.append(quint32(window->winId()));
    }
    return ids;
}

// The shown page's own X window.
quint32 shownPageWindow()
{
    const QWindowList windows = QGuiApplication::allWindows();
    for (QWindow* window : windows) {
        if (window->flags().testFlag(Qt::ForeignWindow) && window->isVisible())
            return quint32(window->winId());
    }
    return 0;
}

void drag(QPoint from, QPoint to)
{
    auto move = [](QPoint at) {
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
    };
    move(from);
    pause(100);
    run(QStringLiteral("xdotool"), {QStringLiteral("mousedown"), QStringLiteral("1")});
    // In steps, as a hand moves: the drag starts, then crosses the screen.
    for (int step = 1; step <= 12; ++step) {
        move(from + (to - from) * step / 12);
        pause(60);
    }
    pause(200);
    run(QStringLiteral("xdotool"), {QStringLiteral("mouseup"), QStringLiteral("1")});
}

void clickAt(QPoint at)
{
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
         QStringLiteral("1")});
}
} // namespace

class TestDesktopBrowser : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private:
    LocalHttpServer m_server;
    X11PanelWindowHints m_hints;
    std::unique_ptr<WebEngineLoader> m_loader;
    std::unique_ptr<QWidget> m_panel;
    std::unique_ptr<BrowserTabsModel> m_model;
    BrowserView* m_view = nullptr;
    QTemporaryDir m_files;

    QString address(const char* path) const { return m_server.url(QString::fromLatin1(path)).toString(); }
    WebView& page() const { return m_model->activeTab()->webView(); }
    // The title the page has now (the tab keeps the one it had when loaded).
    QString pageTitle() const { return evaluate(page(), QStringLiteral("document.title")).toString(); }
    QRect pageArea() const
    {
        QWidget* shown = m_view->shownPage();
        return shown ? QRect(shown->mapToGlobal(QPoint(0, 0)), shown->size()) : QRect();
    }
    // Loads the page anew and waits until it is there, scripts run.
    bool open(const char* path, const QString& title)
    {
        static int loads = 0;
        const QString url = address(path) + QStringLiteral("?load=%1").arg(++loads);
        m_model->activeTab()->load(url);
        return waitFor(
            [&] {
                return evaluate(page(),
                                QStringLiteral("location.href + ' ' + document.readyState + ' ' + document.title"))
                           .toString()
                    == url + QStringLiteral(" complete ") + title;
            },
            15000);
    }

    // A click on the page's file field until its chooser is open: a page
    // just loaded may not place the first click yet.
    static bool openChooser(QPoint field, WebFileDialog* chooser)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            clickAt(field);
            if (waitFor([&] { return chooser->openDialog() && chooser->openDialog()->isVisible(); }, 4000))
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isListening());
        m_server.html("/colour", "<title>Colour</title><body style='margin:0;background:#3366cc'>");
        m_server.html("/type",
                      "<title>Type</title><body style='margin:0;background:#fff'>"
                      "<input id=box autocomplete=off style='position:absolute;top:40px;left:10px;width:90%;"
                      "height:90px;font:bold 64px monospace;border:0;outline:0;color:#000;background:#fff;"
                      "caret-color:transparent'>");
        m_server.html("/file",
                      "<title>File</title><body style='margin:0'>"
                      "<input id=f type=file multiple accept='.txt,text/plain' style='display:block;width:100%;"
                      "height:300px;font-size:40px'>"
                      "<script>f.onchange = () => document.title = 'chosen:' + "
                      "[...f.files].map(x => x.name + '=' + x.size).join(',');</script>");
        m_server.html("/drop",
                      "<title>Drop</title><body style='margin:0;height:100vh;background:#ddd'>"
                      "<script>document.body.ondragover = e => e.preventDefault();"
                      "document.body.ondrop = e => { e.preventDefault(); document.title = 'dropped:' + "
                      "[...e.dataTransfer.files].map(x => x.name + '=' + x.size).join(','); };</script>");

        // As the program starts: the panel first, in the work area of the
        // screen, then the engine once the panel is on screen.
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen->availableGeometry();
        m_panel = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        m_panel->setWindowTitle(QStringLiteral("Quillnook"));
        m_panel->setGeometry(PanelGeometry::fitInside(PanelGeometry::initialRect(QRectF(area)).toRect(), area));
        auto* layout = new QVBoxLayout(m_panel.get());
        layout->setContentsMargins(0, 0, 0, 0);
        m_panel->winId();
        m_hints.apply(m_panel->windowHandle());
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
        m_hints.apply(m_panel->windowHandle());

        m_loader = std::make_unique<WebEngineLoader>(QStringList {QStringLiteral(QUILLNOOK_WEB_MODULE_PATH)});
        QSignalSpy ready(m_loader.get(), &WebEngineProvider::ready);
        m_loader->start();
        QVERIFY(ready.wait(30000));
        QWidget* panel = m_panel.get();
        m_model = std::make_unique<BrowserTabsModel>(
            *m_loader->engine(),
            [panel] { return std::make_unique<WebDialogHandler>([panel]() -> QWidget* { return panel; }); },
            QList<BrowserTabsModel::Opening> {{address("/colour"), QStringLiteral("Opening")}});
        m_view = new BrowserView(*m_model);
        layout->addWidget(m_view);
        LOOP_COMPARE_WITH_TIMEOUT(m_model->activeTab()->pageTitle(), QStringLiteral("Colour"), 20000);
    }

    void cleanupTestCase()
    {
        m_model.reset();
        m_panel.reset();
    }

    void thePanelSitsInTheWorkArea()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        LOOP_VERIFY2(area.contains(m_panel->frameGeometry()),
                     qPrintable(QStringLiteral("panel %1,%2 %3x%4")
                                    .arg(m_panel->x())
                                    .arg(m_panel->y())
                                    .arg(m_panel->width())
                                    .arg(m_panel->height())));
        // Where the program believes the panel is, and so where popups go and
        // these checks read the page from, is where the screen has it.
        LOOP_COMPARE(m_panel->geometry(), geometry(QString::number(m_panel->winId())));
    }

    void pagesAreDrawnLive()
    {
        QVERIFY(open("/colour", QStringLiteral("Colour")));
        const QRect area = pageArea().adjusted(20, 20, -20, -20);
        QVERIFY2(showsColour(area, Blue),
                 qPrintable(QStringLiteral("the page never reached the screen: ")
                            + evaluate(page(),
                                       QStringLiteral("document.visibilityState + ' ' + innerWidth + 'x' + innerHeight "
                                                      "+ ' ' + getComputedStyle(document.body).backgroundColor"))
                                  .toString()));
        // A change made by the page itself, with the panel left as it is.
        evaluate(page(), QStringLiteral("document.body.style.background = '#cc6633'"));
        QVERIFY2(showsColour(area, Orange), "the page's change was not redrawn");
        evaluate(page(), QStringLiteral("document.body.style.background = '#3366cc'"));
        QVERIFY2(showsColour(area, Blue), "the page's second change was not redrawn");
    }

    void typedTextIsDrawn()
    {
        QVERIFY(open("/type", QStringLiteral("Type")));
        const QRect page = pageArea();
        const QRect field(page.left() + 20, page.top() + 50, page.width() - 60, 70);
        QVERIFY(showsColour(field, Qt::white));
        clickAt(field.center());
        LOOP_VERIFY(m_view->shownPage()->hasFocus());
        pause(100);
        run(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), QStringLiteral("MMMM")});
        LOOP_COMPARE(evaluate(this->page(), QStringLiteral("box.value")).toString(), QStringLiteral("MMMM"));
        QVERIFY2(waitFor([&] { return shareOf(screenImage(field), Qt::black) > 0.05; }, 3000),
                 "the typed text did not reach the screen");
    }

    void webViewWindowsAreNeverManaged()
    {
        // Tabs made while the panel is up, shown and hidden again.
        for (int i = 0; i < 2; ++i) {
            m_model->newTab();
            m_model->activeTab()->load(address("/colour"));
            LOOP_COMPARE_WITH_TIMEOUT(m_model->activeTab()->pageTitle(), QStringLiteral("Colour"), 15000);
        }
        m_model->setActiveTabID(m_model->tabs().first()->id());
        pause(200);
        m_model->setActiveTabID(m_model->tabs().last()->id());
        const QList<quint32> pages = pageWindows();
        QVERIFY(pages.size() >= 3);
        LOOP_VERIFY(windowList("_NET_CLIENT_LIST").contains(quint32(m_panel->winId())));
        // Given the window manager time to pick up anything it wants.
        pause(500);
        const QList<quint32> managed = windowList("_NET_CLIENT_LIST");
        for (quint32 window : pages) {
            QVERIFY2(!managed.contains(window), qPrintable(QString::number(window, 16)));
            QVERIFY2(
                !windowProperty(QString::number(window), QStringLiteral("WM_STATE")).contains(QLatin1String("Normal")),
                "a web view's window was given a window-manager state");
        }
        // Gone from outside: the tab says so instead of showing a blank.
        const quint32 shown = shownPageWindow();
        QVERIFY(shown);
        run(QStringLiteral("xdotool"), {QStringLiteral("windowunmap"), QString::number(shown)});
        LOOP_VERIFY_WITH_TIMEOUT(m_model->activeTab()->webProcessTerminated(), 10000);
        m_model->activeTab()->reloadPage();
        LOOP_VERIFY_WITH_TIMEOUT(!m_model->activeTab()->webProcessTerminated(), 10000);
        LOOP_VERIFY(shownPageWindow() && isViewable(QString::number(shownPageWindow())));
        QVERIFY(!windowList("_NET_CLIENT_LIST").contains(shownPageWindow()));
    }

    void pagesShownAgainAreDrawn()
    {
        // The tab shown last before, and the first one, each shown again.
        while (m_model->tabs().size() < 3) {
            m_model->newTab();
            m_model->activeTab()->load(address("/colour"));
            LOOP_COMPARE_WITH_TIMEOUT(m_model->activeTab()->pageTitle(), QStringLiteral("Colour"), 15000);
        }
        for (BrowserTab* tab : {m_model->tabs().first(), m_model->tabs().last()}) {
            m_model->setActiveTabID(tab->id());
            QVERIFY2(showsColour(pageArea().adjusted(20, 20, -20, -20), Blue),
                     qPrintable(QStringLiteral("the page shown again is not on screen: ")
                                + evaluate(page(),
                                           QStringLiteral("document.visibilityState + ' ' + innerWidth + 'x' + "
                                                          "innerHeight"))
                                      .toString()));
        }
        while (m_model->tabs().size() > 1)
            m_model->closeTab(m_model->tabs().last()->id());
    }

    void theFileChooserIsTheProgramsOwnAboveThePanel()
    {
        QFile chosen(m_files.filePath(QStringLiteral("notes.txt")));
        QVERIFY(chosen.open(QIODevice::WriteOnly) && chosen.write("twelve bytes") == 12 && chosen.flush());
        chosen.close();
        QVERIFY(open("/file", QStringLiteral("File")));
        const QPoint field = pageArea().topLeft() + QPoint(pageArea().width() / 2, 150);
        WebFileDialog* chooser = m_view->fileDialog();

        // Cancelled: the page is as it was.
        QVERIFY(openChooser(field, chooser));
        QFileDialog* dialog = chooser->openDialog();
        QCOMPARE(dialog->windowHandle()->transientParent(), m_panel->windowHandle());
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
        QVERIFY(dialog->nameFilters().first().contains(QLatin1String("*.txt")));
        LOOP_VERIFY(windowList("_NET_CLIENT_LIST_STACKING").contains(quint32(dialog->winId())));
        const QList<quint32> stacking = windowList("_NET_CLIENT_LIST_STACKING");
        QVERIFY2(stacking.indexOf(quint32(dialog->winId())) > stacking.indexOf(quint32(m_panel->winId())),
                 "the dialog is under the panel");
        QVERIFY(m_panel->isVisible());
        LOOP_VERIFY(dialog->isActiveWindow());
        key(QStringLiteral("Escape"));
        LOOP_VERIFY(!chooser->openDialog());
        pause(300);
        QCOMPARE(pageTitle(), QStringLiteral("File"));
        QCOMPARE(evaluate(page(), QStringLiteral("f.files.length")).toInt(), 0);

        // Chosen: the file reaches the page.
        QVERIFY(openChooser(field, chooser));
        LOOP_VERIFY(chooser->openDialog()->isActiveWindow());
        run(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), chosen.fileName()});
        key(QStringLiteral("Return"));
        LOOP_COMPARE_WITH_TIMEOUT(pageTitle(), QStringLiteral("chosen:notes.txt=12"), 10000);
    }

    void filesDroppedFromAnotherProgramReachThePage()
    {
        QFile dropped(m_files.filePath(QStringLiteral("photo.png")));
        QVERIFY(dropped.open(QIODevice::WriteOnly) && dropped.write(QByteArray(3000, 'x')) == 3000 && dropped.flush());
        dropped.close();
        QVERIFY(open("/drop", QStringLiteral("Drop")));
        QProcess source;
        source.start(QStringLiteral(QUILLNOOK_DRAG_SOURCE), {dropped.fileName()});
        QVERIFY(source.waitForStarted());
        QString window;
        QVERIFY(waitFor(
            [&] {
                const QStringList found
                    = run(QStringLiteral("xdotool"),
                          {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Drag source$")})
                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                window = found.value(0);
                return !window.isEmpty() && isViewable(window);
            },
            10000));
        pause(300);
        const QRect from = geometry(window);
        drag(from.center(), pageArea().center());
        LOOP_COMPARE_WITH_TIMEOUT(pageTitle(), QStringLiteral("dropped:photo.png=3000"), 10000);
        // The source was told the files were taken.
        QByteArray said;
        LOOP_VERIFY((said += source.readAllStandardOutput()).contains('\n'));
        QCOMPARE(said.trimmed(), QByteArray("copied"));
        endProgram(source);
    }
};

QTEST_MAIN(TestDesktopBrowser)
#include "tst_desktopbrowser.moc"
