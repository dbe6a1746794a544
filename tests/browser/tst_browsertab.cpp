#include <memory>

#include <QSignalSpy>
#include <QTest>

#include "FakeWebEngine.h"
#include "browser/BrowserAddresses.h"
#include "browser/BrowserTab.h"
#include "support/StdoutCapture.h"

namespace {
QString search(const char* query)
{
    return QStringLiteral("https://search.brave.com/search?q=") + QString::fromUtf8(query);
}

QString noUrl(const char* text)
{
    return QStringLiteral("⚠️ Could not build a URL from: ") + QString::fromUtf8(text) + QLatin1Char('\n');
}
} // namespace

class TestBrowserTab : public QObject
{
    Q_OBJECT

private:
    FakeWebEngine m_engine;
    std::unique_ptr<BrowserTab> m_tab;
    FakeWebView* m_view = nullptr;

    QStringList loadedUrls() const
    {
        QStringList urls;
        for (const QUrl& url : std::as_const(m_view->loads))
            urls.append(url.toString(QUrl::FullyEncoded));
        return urls;
    }

private slots:
    void init()
    {
        m_tab
            = std::make_unique<BrowserTab>(m_engine, QStringLiteral("https://example.org/"), QStringLiteral("Example"));
        m_view = m_engine.views.last();
        m_view->loads.clear();
        m_view->timeouts.clear();
    }

    void cleanup() { m_tab.reset(); }

    void creationStartsTheFirstLoadWithTheFixedUserAgent()
    {
        BrowserTab tab(m_engine, QStringLiteral("https://chatgpt.com/"), QStringLiteral("ChatGPT"));
        FakeWebView* view = m_engine.views.last();
        QCOMPARE(&tab.webView(), view);
        QCOMPARE(view->options.userAgent.size(), 126);
        QCOMPARE(view->options.userAgent, QString::fromLatin1(BrowserAddresses::UserAgent));
        QVERIFY(view->options.userAgent.startsWith(QLatin1String("Mozilla/5.0 (iPad; CPU OS 17_0 like Mac OS X)")));
        QCOMPARE(view->options.purpose, WebViewOptions::Purpose::Browser);
        QCOMPARE(view->loads, QList<QUrl> {QUrl(QStringLiteral("https://chatgpt.com/"))});
        QCOMPARE(view->timeouts, QList<std::chrono::seconds> {std::chrono::seconds(60)});
        QCOMPARE(tab.urlString(), QStringLiteral("https://chatgpt.com/"));
        QCOMPARE(tab.pageTitle(), QStringLiteral("ChatGPT"));
        QCOMPARE(view->navigationDelegate(), &tab);
        QVERIFY(!tab.id().isNull());
        QVERIFY(tab.id() != m_tab->id());
    }

    void loadDecides_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("loaded"); // empty: nothing loads
        QTest::addColumn<QString>("printed");

        QTest::newRow("two words search") << "hello world" << search("hello%20world") << "";
        QTest::newRow("plus kept") << "q+a tips" << search("q+a%20tips") << "";
        QTest::newRow("ampersand and query marks kept") << "salt & pepper?" << search("salt%20&%20pepper?") << "";
        QTest::newRow("no dot is a search") << "localhost:8080" << search("localhost:8080") << "";
        QTest::newRow("typed about:blank is a search") << "about:blank" << search("about:blank") << "";
        QTest::newRow("non-ASCII as upper-case UTF-8 escapes") << "café über" << search("caf%C3%A9%20%C3%BCber") << "";
        QTest::newRow("percent and hash escaped") << "100% #1" << search("100%25%20%231") << "";
        QTest::newRow("dotted word with blanks around it") << "  example.com \n"
                                                           << "https://example.com"
                                                           << "";
        QTest::newRow("dotted path with a space is a search")
            << "example.com/my file" << search("example.com/my%20file") << "";
        QTest::newRow("upper-case scheme kept, no second scheme") << "HTTP://Example.com/Path"
                                                                  << "http://example.com/Path"
                                                                  << "";
        QTest::newRow("mixed-case https") << "hTtPs://example.com/a?b=c"
                                          << "https://example.com/a?b=c"
                                          << "";
        QTest::newRow("local address with port") << "http://127.0.0.1:8080/x"
                                                 << "http://127.0.0.1:8080/x"
                                                 << "";
        QTest::newRow("blank input") << "   "
                                     << ""
                                     << "";
        QTest::newRow("empty input") << ""
                                     << ""
                                     << "";
        QTest::newRow("newlines and no-break spaces only") << "\n\t\u00a0\u2003\n"
                                                           << ""
                                                           << "";
        QTest::newRow("scheme with a blank makes no URL") << "https://exa mple.com"
                                                          << "" << noUrl("https://exa mple.com");
        QTest::newRow("message keeps the untrimmed text") << "  http://a b.com "
                                                          << "" << noUrl("  http://a b.com ");
        QTest::newRow("a tab is not a space") << "example.com\tpage"
                                              << "" << noUrl("example.com\tpage");
        QTest::newRow("stray character in a host") << "exa<mple>.com"
                                                   << "" << noUrl("exa<mple>.com");
        QTest::newRow("port out of range") << "example.com:99999"
                                           << "" << noUrl("example.com:99999");
        QTest::newRow("scheme without a host") << "https://"
                                               << "" << noUrl("https://");
        QTest::newRow("line breaks stay on one line") << "http://a b\n.com\r\n"
                                                      << "" << noUrl("http://a b\\n.com\\r\\n");
    }

    void loadDecides()
    {
        QFETCH(QString, typed);
        QFETCH(QString, loaded);
        QFETCH(QString, printed);
        QSignalSpy urlSpy(m_tab.get(), &BrowserTab::urlStringChanged);

        StdoutCapture out;
        m_tab->load(typed);
        QCOMPARE(out.take(), printed);

        QCOMPARE(loadedUrls(), loaded.isEmpty() ? QStringList() : QStringList {loaded});
        if (!loaded.isEmpty())
            QCOMPARE(m_view->timeouts.last(), std::chrono::seconds(60));
        // The address bar keeps what was typed until a page finishes.
        QCOMPARE(urlSpy.count(), 0);
        QCOMPARE(m_tab->pageTitle(), QStringLiteral("Example"));
    }

    void finishedPageSetsLabelAndAddress_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("address");

        QTest::newRow("title") << "Search results" << QUrl(QStringLiteral("https://example.com/a%20b?q=x"))
                               << "Search results"
                               << "https://example.com/a%20b?q=x";
        QTest::newRow("empty title shows host")
            << "" << QUrl(QStringLiteral("http://127.0.0.1:8000/page")) << "127.0.0.1"
            << "http://127.0.0.1:8000/page";
        QTest::newRow("blank page") << "" << QUrl(QStringLiteral("about:blank")) << "New Tab"
                                    << "about:blank";
        QTest::newRow("no address at all keeps the address bar") << "" << QUrl() << "New Tab"
                                                                 << "typed text";
    }

    void finishedPageSetsLabelAndAddress()
    {
        QFETCH(QString, title);
        QFETCH(QUrl, url);
        QFETCH(QString, label);
        QFETCH(QString, address);
        m_tab->setUrlString(QStringLiteral("typed text"));
        QSignalSpy titleSpy(m_tab.get(), &BrowserTab::pageTitleChanged);

        m_view->finish(title, url);
        QCOMPARE(m_tab->pageTitle(), label);
        QCOMPARE(m_tab->urlString(), address);
        QCOMPARE(titleSpy.count(), 1);
        QCOMPARE(titleSpy.first().first().toString(), label);
    }

    void titleToldAfterTheFinishStillLabelsThatPage()
    {
        m_view->finish(QString(), QUrl(QStringLiteral("http://127.0.0.1:8000/late")));
        QCOMPARE(m_tab->pageTitle(), QStringLiteral("127.0.0.1"));
        m_view->currentTitle = QStringLiteral("Late title");
        emit m_view->titleChanged();
        QCOMPARE(m_tab->pageTitle(), QStringLiteral("Late title"));

        // Once the page has its label, later title changes wait for the next finish.
        m_view->currentTitle = QStringLiteral("Changed by a script");
        emit m_view->titleChanged();
        QCOMPARE(m_tab->pageTitle(), QStringLiteral("Late title"));

        // And a title that comes after a new page began belongs to that page.
        m_view->finish(QString(), QUrl(QStringLiteral("http://127.0.0.1:8000/other")));
        emit m_view->urlChanged();
        m_view->currentTitle = QStringLiteral("Next page");
        emit m_view->titleChanged();
        QCOMPARE(m_tab->pageTitle(), QStringLiteral("127.0.0.1"));
    }

    void failuresPrintTheirLineAndChangeNothing()
    {
        m_tab->setUrlString(QStringLiteral("example.invalid"));
        StdoutCapture out;
        m_view->failBeforeCommit(QStringLiteral("Could not resolve host: example.invalid"));
        m_view->failAfterCommit(QStringLiteral("Load cancelled"));
        QCOMPARE(out.take(),
                 QStringLiteral("⚠️ Failed to start loading: Could not resolve host: example.invalid\n"
                                "⚠️ Failed during loading: Load cancelled\n"));
        QCOMPARE(m_tab->urlString(), QStringLiteral("example.invalid"));
        QCOMPARE(m_tab->pageTitle(), QStringLiteral("Example"));
    }

    void teardownBlanksThePageAndHearsNoMore()
    {
        m_tab->teardown();
        QCOMPARE(m_view->stops, 1);
        QCOMPARE(m_view->navigationDelegate(), nullptr);
        QCOMPARE(m_view->uiDelegate(), nullptr);
        QCOMPARE(m_view->loads, QList<QUrl> {QUrl(QStringLiteral("about:blank"))});

        // A callback that arrives anyway changes nothing and prints nothing.
        StdoutCapture out;
        m_tab->webViewDidFinishNavigation(*m_view);
        m_tab->webViewDidFailNavigation(*m_view, QStringLiteral("late"));
        m_view->crash();
        QCOMPARE(out.take(), QString());
        QCOMPARE(m_tab->pageTitle(), QStringLiteral("Example"));
        QCOMPARE(m_tab->urlString(), QStringLiteral("https://example.org/"));
        QVERIFY(!m_tab->webProcessTerminated());

        m_tab->load(QStringLiteral("example.com"));
        m_tab->reloadPage();
        QCOMPARE(m_view->loads.size(), 1);
        QCOMPARE(m_view->reloads, 0);
    }

    void crashedPageWaitsForReload()
    {
        QSignalSpy spy(m_tab.get(), &BrowserTab::webProcessTerminatedChanged);
        m_view->crash();
        QVERIFY(m_tab->webProcessTerminated());
        m_tab->reloadPage();
        QCOMPARE(m_view->reloads, 1);
        QVERIFY(!m_tab->webProcessTerminated());

        // A new address typed after a crash brings a page back too.
        m_view->crash();
        m_tab->load(QStringLiteral("example.com"));
        QVERIFY(!m_tab->webProcessTerminated());
        QCOMPARE(spy.count(), 4);
    }

    void reloadAsksForTheLinkThatFailed_data()
    {
        QTest::addColumn<QString>("failed");
        QTest::addColumn<QString>("reloaded");
        QTest::newRow("a web link") << "https://example.net/next"
                                    << "https://example.net/next";
        // Never the browser's own load of a page's local link.
        QTest::newRow("a local file") << "file:///etc/passwd"
                                      << "https://example.org/";
    }

    void reloadAsksForTheLinkThatFailed()
    {
        QFETCH(QString, failed);
        QFETCH(QString, reloaded);
        m_view->finish(QStringLiteral("Example"), QUrl(QStringLiteral("https://example.org/")));
        // A link on the page fails: no load of the tab's own was under way.
        m_view->failBeforeCommit(QStringLiteral("Could not connect"), QUrl(failed));
        QCOMPARE(m_tab->loadError(), QStringLiteral("Could not connect"));
        m_tab->reloadPage();
        QCOMPARE(loadedUrls(), QStringList {reloaded});
    }

    void aStuckPageIsEndedBeforeTheNextLoad()
    {
        QSignalSpy spy(m_tab.get(), &BrowserTab::notRespondingChanged);
        m_view->setResponsive(false);
        QVERIFY(m_tab->notResponding());
        // Waiting hides the report until the page answers and stops again.
        m_tab->waitForPage();
        QVERIFY(!m_tab->notResponding());
        QCOMPARE(m_view->terminations, 0);
        m_tab->load(QStringLiteral("example.com"));
        QCOMPARE(m_view->terminations, 1);
        QCOMPARE(loadedUrls(), QStringList {QStringLiteral("https://example.com")});
        QVERIFY(!m_tab->webProcessTerminated());
        m_view->setResponsive(true);
        m_tab->reloadPage();
        QCOMPARE(m_view->terminations, 1);
        QCOMPARE(spy.count(), 2);
    }

    void savedDownloadsAreRelayed()
    {
        QSignalSpy spy(m_tab.get(), &BrowserTab::downloadSaved);
        m_view->saveDownload(QStringLiteral("/home/u/Downloads/report.pdf"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toString(), QStringLiteral("/home/u/Downloads/report.pdf"));
    }
};

QTEST_GUILESS_MAIN(TestBrowserTab)
#include "tst_browsertab.moc"
