#include <memory>

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QVBoxLayout>

#include "browser/BrowserFindBar.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserURLBar.h"
#include "browser/BrowserView.h"
#include "browser/SiteZoom.h"
#include "support/LocalHttpServer.h"
#include "support/PageScript.h"
#include "support/PrivateSessionBus.h"
#include "support/X11Tools.h"
#include "ui/SymbolButton.h"
#include "web/WebEngineFixture.h"

namespace {
using PageScript::run;

const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// The desktop portal's settings, as far as pages care: the appearance's
// color-scheme (0 none, 1 dark, 2 light), read and announced when changed.
class FakeSettingsPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    uint colorScheme = 1;

    void change(uint scheme)
    {
        colorScheme = scheme;
        QDBusMessage signal = QDBusMessage::createSignal(PortalPath, QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(colorScheme));
        QDBusConnection::sessionBus().send(signal);
    }

public slots:
    Q_SCRIPTABLE QDBusVariant ReadOne(const QString& ns, const QString& key)
    {
        if (ns == QLatin1String("org.freedesktop.appearance") && key == QLatin1String("color-scheme"))
            return QDBusVariant(colorScheme);
        return QDBusVariant(QString());
    }
};

// The engine reads the session bus once: the test's own bus, with the fake
// portal on it, is in place before the engine starts.
PrivateSessionBus& privateBus()
{
    static PrivateSessionBus bus;
    return bus;
}

void xdotool(const QStringList& args)
{
    X11Tools::run(QStringLiteral("xdotool"), args);
}

void clickAt(QPoint at, const QString& button = QStringLiteral("1"))
{
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("sleep"),
             QStringLiteral("0.1"), QStringLiteral("click"), button});
}
} // namespace

// The Browser's everyday keys, buttons and bars on the real engine, with pages
// from a server inside the test.
class TestBrowserDaily : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        useTestHome();
        qputenv("DBUS_SESSION_BUS_ADDRESS", privateBus().address().toUtf8());
    }

private:
    LocalHttpServer m_server;
    FakeSettingsPortal m_portal;
    WebEngine* m_engine = nullptr;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<BrowserTabsModel> m_model;
    BrowserView* m_view = nullptr;

    BrowserTab* active() const { return m_model->activeTab(); }
    WebView& page() const { return active()->webView(); }
    QString address(const char* path) const { return m_server.url(QString::fromLatin1(path)).toString(); }

    void open(const char* path, const QString& title)
    {
        active()->load(address(path));
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), title, 30000);
    }

    // Real keys into the page, as the user types them with the page focused.
    void pageKey(const QString& combination)
    {
        clickAt(m_view->shownPage()->mapToGlobal(QPoint(300, 300)));
        QTRY_VERIFY_WITH_TIMEOUT(run(page(), QStringLiteral("document.hasFocus()")).toBool(), 5000);
        X11Tools::key(combination);
    }

    void makeBrowser(const char* path)
    {
        m_window = std::make_unique<QWidget>();
        m_window->setWindowTitle(QStringLiteral("Browser under test"));
        m_window->resize(420, 600);
        auto* layout = new QVBoxLayout(m_window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_model = std::make_unique<BrowserTabsModel>(*m_engine, DialogHandlerFactory {},
                                                     QList<BrowserTabsModel::Opening> {{address(path), QString()}});
        m_view = new BrowserView(*m_model);
        layout->addWidget(m_view);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isListening());
        QVERIFY(!privateBus().address().isEmpty());
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(PortalPath, &m_portal, QDBusConnection::ExportScriptableSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        m_server.html("/one", "<title>One</title><p>one <a id=next href=/two>two</a>");
        m_server.html("/two", "<title>Two</title><p>two");
        QByteArray fruit = "<title>Fruit</title><body style='font-size:10px'>";
        for (int i = 0; i < 12; ++i)
            fruit += "<p>apple pear</p>";
        m_server.html("/fruit", fruit);
        m_server.html("/links",
                      "<title>Links</title><body style='margin:0'>"
                      "<a id=link href=/two style='display:block;height:200px;background:#ccf'>two</a>");
        m_server.html("/scheme",
                      "<title>Scheme</title><script>"
                      "function dark() { return matchMedia('(prefers-color-scheme: dark)').matches; }</script>");
        m_engine = loadedEngine();
        QVERIFY(m_engine);
    }

    void init()
    {
        makeBrowser("/one");
        // A new load cancels a first one still under way; each case starts from a finished page.
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("One"), 30000);
    }

    void cleanup()
    {
        m_model.reset();
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void backForwardAndReloadByKeyAndButton()
    {
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("One"), 15000);
        SymbolButton* back = m_view->urlBar()->backButton();
        SymbolButton* forward = m_view->urlBar()->forwardButton();
        QCOMPARE(back->accessibleName(), QStringLiteral("Back"));
        QCOMPARE(forward->accessibleName(), QStringLiteral("Forward"));
        QVERIFY(!back->isEnabled());
        QVERIFY(!forward->isEnabled());

        open("/two", QStringLiteral("Two"));
        QTRY_VERIFY(back->isEnabled());
        QVERIFY(!forward->isEnabled());

        // Alt+Left in the page, the Forward button, the mouse's back button.
        pageKey(QStringLiteral("alt+Left"));
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("One"), 15000);
        QTRY_VERIFY(forward->isEnabled());
        QVERIFY(!back->isEnabled());
        forward->click();
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("Two"), 15000);
        QCOMPARE(m_view->urlBar()->field()->text(), address("/two"));
        clickAt(m_view->shownPage()->mapToGlobal(QPoint(300, 300)), QStringLiteral("8"));
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("One"), 15000);
        // Alt+Right from the address bar.
        m_view->urlBar()->field()->setFocus();
        QTest::keyClick(m_view->urlBar()->field(), Qt::Key_Right, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("Two"), 15000);

        // F5 in the page and Ctrl+R in the address bar each ask the server again.
        const qsizetype asked = m_server.requestsFor("/two").size();
        pageKey(QStringLiteral("F5"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestsFor("/two").size(), asked + 1, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!page().isLoading(), 15000);
        QTest::keyClick(m_view->urlBar()->field(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestsFor("/two").size(), asked + 2, 15000);
    }

    void findCountsAndStepsThroughMatches()
    {
        open("/fruit", QStringLiteral("Fruit"));
        BrowserFindBar* bar = m_view->findBar();
        QVERIFY(!bar->isVisible());
        pageKey(QStringLiteral("ctrl+f"));
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), 5000);
        QTRY_VERIFY(bar->field()->hasFocus());
        QCOMPARE(bar->field()->accessibleName(), QStringLiteral("Find in page"));

        QTest::keyClicks(bar->field(), QStringLiteral("APPLE"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->countLabel()->text(), QStringLiteral("1 of 12"), 10000);
        QTest::keyClick(bar->field(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(bar->countLabel()->text(), QStringLiteral("2 of 12"), 10000);
        QTest::keyClick(bar->field(), Qt::Key_Return, Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(bar->countLabel()->text(), QStringLiteral("1 of 12"), 10000);
        QTest::keyClick(bar->field(), Qt::Key_Return, Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(bar->countLabel()->text(), QStringLiteral("12 of 12"), 10000);
        QTRY_COMPARE(run(page(), QStringLiteral("String(getSelection())")).toString().toLower(),
                     QStringLiteral("apple"));

        bar->field()->selectAll();
        QTest::keyClicks(bar->field(), QStringLiteral("plum"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->countLabel()->text(), QStringLiteral("No matches"), 10000);

        QTest::keyClick(bar->field(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(run(page(), QStringLiteral("document.hasFocus()")).toBool(), 5000);
    }

    void zoomIsKeptForTheSiteAcrossARestart()
    {
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("One"), 15000);
        QCOMPARE(page().zoomFactor(), 1.0);
        // Ctrl+= in the page, Ctrl+wheel over it.
        pageKey(QStringLiteral("ctrl+equal"));
        QTRY_COMPARE_WITH_TIMEOUT(page().zoomFactor(), 1.1, 5000);
        QVERIFY(m_view->urlBar()->zoomLabel()->isVisible());
        QCOMPARE(m_view->urlBar()->zoomLabel()->text(), QStringLiteral("110%"));
        xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl"), QStringLiteral("click"), QStringLiteral("4"),
                 QStringLiteral("keyup"), QStringLiteral("ctrl")});
        QTRY_COMPARE_WITH_TIMEOUT(page().zoomFactor(), 1.25, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->urlBar()->zoomLabel()->isVisible(), 5000);
        const QString file = m_view->siteZoom().filePath();

        // Another run: the site opens at its zoom, another page of it too.
        cleanup();
        makeBrowser("/two");
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("Two"), 15000);
        QCOMPARE(page().zoomFactor(), 1.25);

        // Ctrl+0 from the address bar: back to 100%, and forgotten.
        QTest::keyClick(m_view->urlBar()->field(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(page().zoomFactor(), 1.0);
        QVERIFY(QSettings(file, QSettings::IniFormat).allKeys().isEmpty());
    }

    void ctrlAndMiddleClickOpenLinksInNewTabs()
    {
        open("/links", QStringLiteral("Links"));
        const QPoint link = m_view->shownPage()->mapToGlobal(QPoint(100, 100));
        xdotool({QStringLiteral("mousemove"), QString::number(link.x()), QString::number(link.y()),
                 QStringLiteral("sleep"), QStringLiteral("0.1"), QStringLiteral("keydown"), QStringLiteral("ctrl"),
                 QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("keyup"), QStringLiteral("ctrl")});
        QTRY_COMPARE_WITH_TIMEOUT(m_model->tabs().size(), 2, 10000);
        clickAt(link, QStringLiteral("2"));
        QTRY_COMPARE_WITH_TIMEOUT(m_model->tabs().size(), 3, 10000);
        // The page stays; the new tabs load the link behind it.
        QCOMPARE(active()->pageTitle(), QStringLiteral("Links"));
        QTRY_COMPARE_WITH_TIMEOUT(m_model->tabs().at(1)->pageTitle(), QStringLiteral("Two"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->tabs().at(2)->pageTitle(), QStringLiteral("Two"), 15000);
    }

    void pagesFollowTheDesktopColorScheme()
    {
        open("/scheme", QStringLiteral("Scheme"));
        m_portal.change(1);
        QTRY_COMPARE_WITH_TIMEOUT(run(page(), QStringLiteral("dark()")).toBool(), true, 10000);
        m_portal.change(2);
        QTRY_COMPARE_WITH_TIMEOUT(run(page(), QStringLiteral("dark()")).toBool(), false, 10000);
        m_portal.change(1);
        QTRY_COMPARE_WITH_TIMEOUT(run(page(), QStringLiteral("dark()")).toBool(), true, 10000);
    }

    void escapeStopsALoadingPage()
    {
        QTRY_COMPARE_WITH_TIMEOUT(active()->pageTitle(), QStringLiteral("One"), 15000);
        LocalHttpServer::Route silent;
        silent.behaviour = LocalHttpServer::Route::Behaviour::Silent;
        m_server.route("/silent", silent);
        active()->load(address("/silent"));
        QTRY_VERIFY_WITH_TIMEOUT(page().isLoading(), 5000);
        // The request is out, and the server keeps it waiting.
        QTRY_VERIFY_WITH_TIMEOUT(!m_server.requestsFor("/silent").isEmpty(), 10000);
        m_view->urlBar()->field()->setFocus();
        QTest::keyClick(m_view->urlBar()->field(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!page().isLoading(), 5000);
        // The tab goes on: the next page loads.
        open("/two", QStringLiteral("Two"));
    }
};

QTEST_MAIN(TestBrowserDaily)
#include "tst_browserdaily_x11.moc"
