#include <csignal>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QVBoxLayout>

#include "browser/BrowserTabsModel.h"
#include "browser/BrowserURLBar.h"
#include "browser/BrowserView.h"
#include "browser/DownloadNotice.h"
#include "browser/ScriptDialog.h"
#include "browser/TabChip.h"
#include "browser/WebDialogHandler.h"
#include "support/LocalHttpServer.h"
#include "support/PageScript.h"
#include "support/ProcessTree.h"
#include "support/StdoutCapture.h"
#include "support/X11Tools.h"
#include "web/WebEngineFixture.h"

namespace {
using PageScript::run;

const QByteArray UserAgent = "Mozilla/5.0 (iPad; CPU OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
                             "Version/17.0 Mobile/15E148 Safari/604.1";

;

int clientCount()
{
    const QString list
        = X11Tools::run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    return int(list.section(QLatin1Char('#'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts).size());
}

void clickOnScreen(QPoint at)
{
    X11Tools::run(QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                   QStringLiteral("click"), QStringLiteral("1")});
}
} // namespace

// The browser on the real engine under the suite's X server, with pages from
// a server inside the test.
class TestBrowserX11 : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private:
    LocalHttpServer m_server;
    WebEngine* m_engine = nullptr;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<BrowserTabsModel> m_model;
    BrowserView* m_view = nullptr;

    BrowserTab* tabAt(int i) const { return m_model->tabs().at(i); }
    QLineEdit* field() const { return m_view->urlBar()->field(); }
    QString address(const char* path) const { return m_server.url(QString::fromLatin1(path)).toString(); }

    void type(const QString& text)
    {
        field()->setFocus();
        field()->selectAll();
        QTest::keyClicks(field(), text);
        QTest::keyClick(field(), Qt::Key_Return);
    }

    // Where a point of the active page lies on the screen.
    QPoint onPage(QPoint local) const { return m_view->shownPage()->mapToGlobal(local); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isListening());
        m_server.html("/one", "<title>One</title><p>one");
        m_server.html("/two", "<title>Two</title><p>two");
        m_server.html("/untitled", "<p>no title here");
        m_server.html("/long", "<title>Long</title><div style='height:5000px'>tall</div>");
        m_server.html("/second", "<title>Second</title>");
        m_server.html("/input",
                      "<title>Input</title><body style='margin:0'>"
                      "<input id=box style='display:block;width:100%;height:80px;font-size:30px'>");
        m_server.html("/third", "<title>Third</title>");
        m_server.html("/opener",
                      "<title>Opener</title><body style='margin:0'>"
                      "<a id=link target=_blank href=/second style='display:block;height:120px;background:#ccf'>"
                      "new window link</a>"
                      "<button onclick=\"window.open('/third')\" style='display:block;width:100%;height:120px'>"
                      "open</button>");
        m_server.html("/busy", "<title>Busy</title><script>setTimeout(() => { for (;;) {} }, 200)</script>");
        m_server.html("/alerts", "<title>Alerts</title>");
        LocalHttpServer::Route file;
        file.body = QByteArray(5000, 'f');
        file.contentType = "application/octet-stream";
        file.extraHeaders = {"Content-Disposition: attachment; filename=\"notes.bin\""};
        m_server.route("/file", file);
        file.extraHeaders = {"Content-Disposition: attachment; filename=\"broken.bin\""};
        file.behaviour = LocalHttpServer::Route::Behaviour::DropMidBody;
        m_server.route("/broken", file);
        m_engine = loadedEngine();
        QVERIFY(m_engine);
    }

    void init()
    {
        // The page's window lives inside the window's own: the window is on
        // screen before pages are placed, as the panel is before the browser.
        m_window = std::make_unique<QWidget>();
        m_window->setWindowTitle(QStringLiteral("Browser under test"));
        m_window->resize(420, 600);
        auto* layout = new QVBoxLayout(m_window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

        QWidget* window = m_window.get();
        m_model = std::make_unique<BrowserTabsModel>(
            *m_engine,
            [window] {
                return std::make_unique<WebDialogHandler>([window]() -> QWidget* {
                    window->show();
                    window->raise();
                    window->activateWindow();
                    return window;
                });
            },
            QList<BrowserTabsModel::Opening> {{address("/one"), QStringLiteral("First")},
                                              {address("/two"), QStringLiteral("Second")}});
        m_view = new BrowserView(*m_model);
        layout->addWidget(m_view);
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("One"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(1)->pageTitle(), QStringLiteral("Two"), 15000);
    }

    void cleanup()
    {
        // As the panel does: the tabs go while their window is still there.
        m_model.reset();
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void pagesCarryTheFixedUserAgent()
    {
        const QList<LocalHttpServer::Request> requests = m_server.requestsFor("/one");
        QVERIFY(!requests.isEmpty());
        QCOMPARE(requests.last().headers.value("user-agent"), UserAgent);
        QCOMPARE(run(tabAt(0)->webView(), QStringLiteral("navigator.userAgent")).toString(),
                 QString::fromLatin1(UserAgent));
    }

    void finishedPagesLabelTheChipAndFillTheAddress_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("shown");

        QTest::newRow("title") << address("/long") << "Long" << address("/long");
        QTest::newRow("no title shows the host") << address("/untitled") << "127.0.0.1" << address("/untitled");
        QTest::newRow("upper-case scheme")
            << address("/second").toUpper().replace(QStringLiteral("/SECOND"), QStringLiteral("/second")) << "Second"
            << address("/second");
    }

    void finishedPagesLabelTheChipAndFillTheAddress()
    {
        QFETCH(QString, typed);
        QFETCH(QString, label);
        QFETCH(QString, shown);
        type(typed);
        QTRY_COMPARE_WITH_TIMEOUT(m_view->chips().at(0)->title(), label, 15000);
        QCOMPARE(field()->text(), shown);
        QCOMPARE(tabAt(0)->urlString(), shown);
    }

    void blankPageIsANewTab()
    {
        tabAt(0)->webView().load(QUrl(QStringLiteral("about:blank")));
        QTRY_COMPARE_WITH_TIMEOUT(m_view->chips().at(0)->title(), QStringLiteral("New Tab"), 15000);
        QCOMPARE(field()->text(), QStringLiteral("about:blank"));
    }

    void failedLoadKeepsWhatWasTypedAndPrintsItsLine()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString typed = QStringLiteral("http://127.0.0.1:%1/nothing").arg(closed.serverPort());
        closed.close();

        StdoutCapture out;
        type(typed);
        QTRY_VERIFY_WITH_TIMEOUT(out.peek().contains(QStringLiteral("⚠️ Failed to start loading: ")), 15000);
        const QString printed = out.take();
        QCOMPARE(printed.count(QLatin1Char('\n')), printed.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
        QCOMPARE(field()->text(), typed);
        QCOMPARE(m_view->chips().at(0)->title(), QStringLiteral("One"));
    }

    void newWindowsLoadInTheSameTab()
    {
        type(address("/opener"));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Opener"), 15000);
        const int clients = clientCount();
        const int windows = int(QApplication::topLevelWidgets().size());

        clickOnScreen(onPage(QPoint(100, 60)));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Second"), 15000);
        QCOMPARE(tabAt(0)->urlString(), address("/second"));

        type(address("/opener"));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Opener"), 15000);
        clickOnScreen(onPage(QPoint(100, 180)));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Third"), 15000);

        QCOMPARE(m_model->tabs().size(), 2);
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windows);
        QCOMPARE(clientCount(), clients);
    }

    void typingGoesWhereTheFocusIs()
    {
        type(address("/input"));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Input"), 15000);
        WebView& page = tabAt(0)->webView();

        // Into the page once it is clicked...
        clickOnScreen(onPage(QPoint(100, 40)));
        QTRY_COMPARE_WITH_TIMEOUT(run(page, QStringLiteral("document.activeElement.id")).toString(),
                                  QStringLiteral("box"), 5000);
        X11Tools::run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("page")});
        QTRY_COMPARE_WITH_TIMEOUT(run(page, QStringLiteral("document.getElementById('box').value")).toString(),
                                  QStringLiteral("page"), 5000);

        // ...and into the address field, not the page, once that is clicked.
        clickOnScreen(field()->mapToGlobal(field()->rect().center()));
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), field(), 5000);
        X11Tools::key(QStringLiteral("ctrl+a"));
        X11Tools::run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("bar")});
        QTRY_COMPARE_WITH_TIMEOUT(field()->text(), QStringLiteral("bar"), 5000);
        QCOMPARE(tabAt(0)->urlString(), QStringLiteral("bar"));
        QCOMPARE(run(page, QStringLiteral("document.getElementById('box').value")).toString(), QStringLiteral("page"));
    }

    void pageDialogsAreAnsweredThroughRealDialogs_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("answer");

        QTest::newRow("confirm, Return") << "confirm('Sure?')"
                                         << "Return"
                                         << "true";
        QTest::newRow("confirm, Escape") << "confirm('Sure?')"
                                         << "Escape"
                                         << "false";
        QTest::newRow("prompt, default kept") << "prompt('Name?', 'Ada')"
                                              << "Return"
                                              << "Ada";
        QTest::newRow("prompt, Escape") << "prompt('Name?', 'Ada')"
                                        << "Escape"
                                        << "null";
        QTest::newRow("alert") << "alert('Hi')"
                               << "Return"
                               << "undefined";
    }

    void pageDialogsAreAnsweredThroughRealDialogs()
    {
        QFETCH(QString, call);
        QFETCH(QString, key);
        QFETCH(QString, answer);
        WebView& page = tabAt(0)->webView();
        run(page, QStringLiteral("setTimeout(() => { document.title = 'answer:' + String(%1); }, 0); 1").arg(call));
        auto* handler = static_cast<WebDialogHandler*>(tabAt(0)->dialogHandler());
        QTRY_COMPARE_WITH_TIMEOUT(handler->openDialogs().size(), 1, 10000);
        ScriptDialog* dialog = handler->openDialogs().first();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        // The keys go where the window manager put the focus: on the dialog.
        QTRY_COMPARE_WITH_TIMEOUT(
            X11Tools::run(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")}).toULongLong(),
            qulonglong(dialog->winId()), 5000);
        X11Tools::key(key);
        // The page waits on the dialog; ask it nothing before it is answered.
        QTRY_VERIFY_WITH_TIMEOUT(handler->openDialogs().isEmpty(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(run(page, QStringLiteral("document.title")).toString(),
                                  QStringLiteral("answer:") + answer, 10000);
    }

    void aPageThatAlertsWithoutEndHoldsNothingAndCanBeStopped()
    {
        type(address("/alerts"));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Alerts"), 15000);
        WebView& page = tabAt(0)->webView();
        run(page,
            QStringLiteral("setTimeout(() => { for (let i = 0; i < 40; ++i) alert('again ' + i);"
                           " document.title = 'done'; }, 0); 1"));
        auto* handler = static_cast<WebDialogHandler*>(tabAt(0)->dialogHandler());
        QTRY_COMPARE_WITH_TIMEOUT(handler->openDialogs().size(), 1, 10000);
        ScriptDialog* first = handler->openDialogs().first();
        QVERIFY(!first->stopBox());

        // Another window of the program takes clicks meanwhile, as the other
        // tools do: nothing is modal to the whole program.
        QVERIFY(!QApplication::activeModalWidget());
        QPushButton other(QStringLiteral("Another tool"));
        int clicks = 0;
        connect(&other, &QPushButton::clicked, this, [&clicks] { ++clicks; });
        other.setGeometry(700, 100, 200, 30);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QTest::mouseClick(&other, Qt::LeftButton);
        QCOMPARE(clicks, 1);

        first->accept();
        // The next one, soon after: it offers to stop them (the first may be
        // gone, its memory holding the second).
        QTRY_VERIFY_WITH_TIMEOUT(!handler->openDialogs().isEmpty() && handler->openDialogs().first()->stopBox(), 10000);
        ScriptDialog* second = handler->openDialogs().first();
        QVERIFY(second->stopBox());
        QCOMPARE(second->stopBox()->text(), QStringLiteral("Don't show more dialogs from this page"));
        second->stopBox()->setChecked(true);
        second->accept();
        // The rest are answered unseen, and the page runs to its end.
        QTRY_COMPARE_WITH_TIMEOUT(run(page, QStringLiteral("document.title")).toString(), QStringLiteral("done"),
                                  10000);
        QVERIFY(handler->openDialogs().isEmpty());
        QVERIFY(handler->dialogsStopped());
        // A new page may ask again.
        type(address("/alerts"));
        QTRY_VERIFY_WITH_TIMEOUT(!handler->dialogsStopped(), 15000);
    }

    void aDialogHidesAndShowsWithThePanelAboveIt()
    {
        WebView& page = tabAt(0)->webView();
        run(page, QStringLiteral("setTimeout(() => alert('over the panel'), 0); 1"));
        auto* handler = static_cast<WebDialogHandler*>(tabAt(0)->dialogHandler());
        QTRY_COMPARE_WITH_TIMEOUT(handler->openDialogs().size(), 1, 10000);
        QPointer<ScriptDialog> dialog = handler->openDialogs().first();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const auto stacking = [] {
            return X11Tools::run(QStringLiteral("xprop"),
                                 {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
        };
        const auto above = [&] {
            const QStringList ids = stacking().section(QLatin1Char('#'), 1).split(QLatin1Char(','));
            qsizetype panel = -1, shown = -1;
            for (qsizetype i = 0; i < ids.size(); ++i) {
                const qulonglong id = ids.at(i).trimmed().toULongLong(nullptr, 16);
                if (id == m_window->winId())
                    panel = i;
                if (dialog && id == dialog->winId())
                    shown = i;
            }
            return panel >= 0 && shown > panel;
        };
        QTRY_VERIFY_WITH_TIMEOUT(above(), 5000);

        m_window->hide();
        QTRY_VERIFY(!dialog->isVisible());
        m_window->show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(above(), 5000);
        dialog->accept();
        QTRY_VERIFY(handler->openDialogs().isEmpty());
    }

    void theEnginesOwnWindowsSitAboveThePanelAndFollowIt()
    {
        const auto listed = [] {
            return X11Tools::run(QStringLiteral("xprop"),
                                 {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")})
                .section(QLatin1Char('#'), 1)
                .split(QLatin1Char(','), Qt::SkipEmptyParts);
        };
        const QStringList before = listed();
        run(tabAt(0)->webView(), QStringLiteral("setTimeout(() => window.print(), 0); 1"));
        QString printDialog;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QString& id : listed()) {
                    if (!before.contains(id))
                        printDialog = id.trimmed();
                }
                return !printDialog.isEmpty();
            }(),
            15000);
        const QString transient = X11Tools::run(
            QStringLiteral("xprop"), {QStringLiteral("-id"), printDialog, QStringLiteral("WM_TRANSIENT_FOR")});
        QVERIFY2(transient.trimmed().endsWith(QStringLiteral("0x%1").arg(m_window->winId(), 0, 16)),
                 qPrintable(transient));
        const auto aboveThePanel = [&] {
            const QStringList ids = listed();
            qsizetype panel = -1, dialog = -1;
            for (qsizetype i = 0; i < ids.size(); ++i) {
                if (ids.at(i).trimmed().toULongLong(nullptr, 16) == m_window->winId())
                    panel = i;
                if (ids.at(i).trimmed() == printDialog)
                    dialog = i;
            }
            return panel >= 0 && dialog > panel;
        };
        QTRY_VERIFY_WITH_TIMEOUT(aboveThePanel(), 5000);
        m_window->hide();
        QTRY_VERIFY_WITH_TIMEOUT(!listed().contains(QLatin1Char(' ') + printDialog) && !listed().contains(printDialog),
                                 5000);
        m_window->show();
        QTRY_VERIFY_WITH_TIMEOUT(aboveThePanel(), 5000);
        X11Tools::key(QStringLiteral("Escape"));
    }

    void aStuckPageSaysSoAndATypedAddressEndsIt()
    {
        type(address("/busy"));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Busy"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(m_view->shownPage(), m_view->crashNotice(), 10000);
        QCOMPARE(m_view->noticeText(), QStringLiteral("This page is not responding."));
        QVERIFY(m_view->waitButton()->isVisible());
        QVERIFY(m_view->reloadButton()->isVisible());
        QTest::mouseClick(m_view->waitButton(), Qt::LeftButton);
        QCOMPARE(m_view->shownPage(), tabAt(0)->webView().widget());

        const qsizetype before = m_server.requestsFor("/one").size();
        type(address("/one"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestsFor("/one").size(), before + 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(run(tabAt(0)->webView(), QStringLiteral("document.title")).toString(),
                                  QStringLiteral("One"), 15000);
        QCOMPARE(m_view->shownPage(), tabAt(0)->webView().widget());
        QVERIFY(!tabAt(0)->webProcessTerminated());
    }

    void downloadsKeepThePageAndTheNoticeTellsHowTheyEnded()
    {
        WebView& page = tabAt(0)->webView();
        type(address("/file"));
        QTRY_VERIFY_WITH_TIMEOUT(m_view->downloadNotice()->isVisible(), 15000);
        QTRY_COMPARE(m_view->downloadNotice()->label()->accessibleName(), QStringLiteral("Saved “notes.bin”"));
        QVERIFY(m_view->downloadNotice()->revealButton()->isVisible());
        QCOMPARE(m_view->shownPage(), page.widget());
        QTRY_COMPARE(field()->text(), address("/one"));
        QCOMPARE(run(page, QStringLiteral("document.title")).toString(), QStringLiteral("One"));

        type(address("/broken"));
        QTRY_VERIFY_WITH_TIMEOUT(m_view->downloadNotice()->label()->accessibleName().startsWith(
                                     QStringLiteral("Could not download “broken.bin”: ")),
                                 15000);
        QVERIFY(!m_view->downloadNotice()->revealButton()->isVisible());
        QCOMPARE(m_view->shownPage(), page.widget());
    }

    void reloadAfterAFailedLinkAsksForTheLink()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString link = QStringLiteral("http://127.0.0.1:%1/gone").arg(closed.serverPort());
        closed.close();
        StdoutCapture out;
        run(tabAt(0)->webView(), QStringLiteral("location.href = '%1'; 1").arg(link));
        QTRY_COMPARE_WITH_TIMEOUT(m_view->shownPage(), m_view->crashNotice(), 15000);
        const qsizetype before = m_server.requestsFor("/one").size();
        QTRY_COMPARE(out.peek().count(QStringLiteral("Failed to start loading")), 1);
        QTest::mouseClick(m_view->reloadButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(out.peek().count(QStringLiteral("Failed to start loading")), 2, 15000);
        QTRY_COMPARE(m_view->shownPage(), m_view->crashNotice());
        QCOMPARE(m_server.requestsFor("/one").size(), before);
    }

    void switchingTabsKeepsThePageWhereItWas()
    {
        type(address("/long"));
        QTRY_COMPARE_WITH_TIMEOUT(tabAt(0)->pageTitle(), QStringLiteral("Long"), 15000);
        WebView& page = tabAt(0)->webView();
        run(page, QStringLiteral("window.scrollTo(0, 600); 1"));
        QTRY_COMPARE(run(page, QStringLiteral("window.scrollY")).toInt(), 600);
        const qsizetype requests = m_server.requestsFor("/long").size();

        QTest::mouseClick(m_view->chips().at(1), Qt::LeftButton);
        QCOMPARE(m_view->shownPage(), tabAt(1)->webView().widget());
        // The engine says nothing when a hidden page is left alone: moments
        // for a reload or a scroll that must not come.
        QTest::qWait(300);
        QTest::mouseClick(m_view->chips().at(0), Qt::LeftButton);
        QCOMPARE(m_view->shownPage(), page.widget());
        QTest::qWait(300);
        QCOMPARE(run(page, QStringLiteral("window.scrollY")).toInt(), 600);
        QCOMPARE(m_server.requestsFor("/long").size(), requests);
    }

    void killedWebProcessShowsReloadAndOtherTabsKeepWorking()
    {
        const QList<int> processes = descendantsNamed("WebKitWebProces");
        QVERIFY(!processes.isEmpty());
        QCOMPARE(::kill(processes.last(), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(tabAt(0)->webProcessTerminated() || tabAt(1)->webProcessTerminated(), 10000);

        for (int i = 0; i < 2; ++i) {
            BrowserTab* tab = tabAt(i);
            m_model->setActiveTabID(tab->id());
            if (!tab->webProcessTerminated()) {
                // Its page still answers.
                QCOMPARE(run(tab->webView(), QStringLiteral("document.title")).toString(), tab->pageTitle());
                QCOMPARE(m_view->shownPage(), tab->webView().widget());
                continue;
            }
            QCOMPARE(m_view->shownPage(), m_view->crashNotice());
            QVERIFY(m_view->reloadButton()->isVisible());
            QTest::mouseClick(m_view->reloadButton(), Qt::LeftButton);
            QCOMPARE(m_view->shownPage(), tab->webView().widget());
            const QString title = i == 0 ? QStringLiteral("One") : QStringLiteral("Two");
            QTRY_COMPARE_WITH_TIMEOUT(run(tab->webView(), QStringLiteral("document.title")).toString(), title, 15000);
        }
    }
};

QTEST_MAIN(TestBrowserX11)
#include "tst_browser_x11.moc"
