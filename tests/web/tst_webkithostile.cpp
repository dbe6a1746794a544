#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include "WebEngineFixture.h"
#include "support/LocalHttpServer.h"
#include "support/PageScript.h"
#include "support/StdoutCapture.h"
#include "support/WebViewFixture.h"
#include "support/X11Tools.h"

namespace {
using PageScript::run;
using X11Tools::xdotool;

bool clickAt(const QPoint& global)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
                    QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("click"), QStringLiteral("1")});
}
} // namespace

// Pages that try what a hostile or broken site would, on the real engine.
class TestWebKitHostile : public QObject, private WebViewFixture
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void leavingAPageThatAsksToStayLoadsTheNextOne();
    void newWindowsOfOtherSchemesAreRefused_data();
    void newWindowsOfOtherSchemesAreRefused();
    void aFrameCannotRunScriptAsTheTopPage();
    void aBusyPageIsReportedAndEndingItLoadsAgain();
    void downloadsKeepThePageAndReportTheirEnd();

private:
    LocalHttpServer m_server;
};

void TestWebKitHostile::initTestCase()
{
    QVERIFY(m_server.isListening());
    QVERIFY(startEngine(QRect(50, 50, 600, 500)));
    m_server.html("/next", "<title>next</title>");
    m_server.html("/plain", "<title>plain</title>");
}

void TestWebKitHostile::init()
{
    openView();
}

void TestWebKitHostile::cleanup()
{
    closeView();
}

void TestWebKitHostile::leavingAPageThatAsksToStayLoadsTheNextOne()
{
    // A draft typed into the page arms its handler: the engine asks only
    // once the user has done something there.
    m_server.html("/draft",
                  "<title>draft</title><body style='margin:0'>"
                  "<textarea id=box style='width:100%;height:200px'></textarea><script>"
                  "addEventListener('beforeunload', e => { e.preventDefault(); e.returnValue = 'x'; });"
                  "</script>");
    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/draft"))));
    m_window.activateWindow();
    QVERIFY(clickAt(m_view->widget()->mapToGlobal(QPoint(100, 100))));
    QTRY_COMPARE(run(*m_view, QStringLiteral("document.activeElement.id")).toString(), QStringLiteral("box"));
    QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("unsent words")}));
    QTRY_COMPARE(run(*m_view, QStringLiteral("document.getElementById('box').value")).toString(),
                 QStringLiteral("unsent words"));

    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/next"))));
    // The title may arrive just after the load has finished.
    QTRY_COMPARE(m_view->title(), QStringLiteral("next"));
    // And once more from the next page, as a second address typed would.
    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/draft"))));
    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/plain"))));
    QTRY_COMPARE(m_view->title(), QStringLiteral("plain"));
}

void TestWebKitHostile::newWindowsOfOtherSchemesAreRefused_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("scheme");
    QTest::newRow("local file") << "window.open('file:///etc/passwd'); 1"
                                << "file";
    QTest::newRow("local file, blank-target link")
        << "const a = document.createElement('a'); a.href = 'file:///etc/passwd'; a.target = '_blank';"
           "document.body.append(a); a.click(); 1"
        << "";
    QTest::newRow("data page") << "window.open('data:text/html,<title>data</title>'); 1"
                               << "data";
    QTest::newRow("blob page")
        << "window.open(URL.createObjectURL(new Blob(['<title>blob</title>'], {type: 'text/html'}))); 1"
        << "blob";
    QTest::newRow("script") << "window.open(\"javascript:document.title='ran'\"); 1"
                            << "javascript";
}

void TestWebKitHostile::newWindowsOfOtherSchemesAreRefused()
{
    QFETCH(QString, script);
    QFETCH(QString, scheme);
    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/plain"))));
    StdoutCapture out;
    run(*m_view, script);
    // The engine itself stops a page's link to a local file before it is
    // a request; the rest are refused here.
    const QString line = scheme.isEmpty()
        ? QString()
        : QStringLiteral("⚠️ Refused to open a %1: address from a page\n").arg(scheme);
    // about:blank asks for nothing and says nothing.
    run(*m_view, QStringLiteral("window.open('about:blank'); 1"));
    // An ordinary page opened after them is the first thing to load, and
    // the only one asked for.
    run(*m_view, QStringLiteral("window.open('/next'); 1"));
    QTRY_COMPARE_WITH_TIMEOUT(m_view->title(), QStringLiteral("next"), 10000);
    QCOMPARE(out.take(), line);
    QCOMPARE(m_delegates.newWindows, QList<QUrl> {m_server.url(QStringLiteral("/next"))});
    QCOMPARE(m_delegates.finished, 2);
}

void TestWebKitHostile::aFrameCannotRunScriptAsTheTopPage()
{
    // The top page's cookie, and a frame of another origin with one button.
    LocalHttpServer::Route top;
    top.body = "<title>top</title><body style='margin:0'>"
               "<iframe onload=\"document.title = 'ready'\" src='http://localhost:"
        + QByteArray::number(m_server.url(QStringLiteral("/")).port())
        + "/frame' style='border:0;width:400px;height:300px'></iframe>";
    top.extraHeaders = {"Set-Cookie: secret=top; Path=/"};
    m_server.route("/top", top);
    m_server.html("/frame",
                  "<body style='margin:0'><button id=go style='width:400px;height:300px' onclick=\""
                  "window.open('javascript:fetch(&quot;/steal?&quot; + document.cookie)')\">go</button>");
    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/top"))));
    QTRY_COMPARE_WITH_TIMEOUT(m_view->title(), QStringLiteral("ready"), 10000);

    StdoutCapture out;
    m_window.activateWindow();
    QVERIFY(clickAt(m_view->widget()->mapToGlobal(QPoint(200, 150))));
    QTRY_VERIFY_WITH_TIMEOUT(out.peek().contains(QStringLiteral("Refused to open a javascript: address")), 10000);
    // A fetch from the top page would have carried its cookie; it never comes.
    run(*m_view, QStringLiteral("fetch('/plain').then(() => document.title = 'fetched'); 1"));
    QTRY_COMPARE(m_view->title(), QStringLiteral("fetched"));
    QVERIFY(m_server.requestsFor("/steal").isEmpty());
    QCOMPARE(m_server.requestsFor("/plain").last().headers.value("cookie"), QByteArray("secret=top"));
}

void TestWebKitHostile::aBusyPageIsReportedAndEndingItLoadsAgain()
{
    m_server.html("/busy", "<title>busy</title><script>setTimeout(() => { for (;;) {} }, 200)</script>");
    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/busy"))));
    QSignalSpy responsiveness(m_view.get(), &WebView::responsivenessChanged);
    QTRY_VERIFY_WITH_TIMEOUT(!m_view->isResponsive(), 10000);
    QCOMPARE(responsiveness.last().first().toBool(), false);

    QSignalSpy terminated(m_view.get(), &WebView::webProcessTerminated);
    m_view->terminateWebProcess();
    QTRY_VERIFY(!terminated.isEmpty());
    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/next"))));
    QCOMPARE(run(*m_view, QStringLiteral("document.title")).toString(), QStringLiteral("next"));
    QTRY_VERIFY(m_view->isResponsive());
}

void TestWebKitHostile::downloadsKeepThePageAndReportTheirEnd()
{
    const QString folder = QDir::homePath() + QStringLiteral("/Downloads");
    LocalHttpServer::Route file;
    file.body = QByteArray(20000, 'd');
    file.contentType = "application/octet-stream";
    // A name longer than any the filesystem takes.
    const QByteArray longName = QByteArray(300, 'n') + ".pdf";
    file.extraHeaders = {"Content-Disposition: attachment; filename=\"" + longName + "\""};
    m_server.route("/file", file);
    LocalHttpServer::Route broken = file;
    broken.extraHeaders = {"Content-Disposition: attachment; filename=\"broken.bin\""};
    broken.behaviour = LocalHttpServer::Route::Behaviour::DropMidBody;
    m_server.route("/broken", broken);

    QVERIFY(loadAndFinish(m_server.url(QStringLiteral("/plain"))));
    QSignalSpy saved(m_view.get(), &WebView::downloadSaved);
    QSignalSpy failed(m_view.get(), &WebView::downloadFailed);
    QSignalSpy progress(m_view.get(), &WebView::downloadProgress);
    m_view->load(m_server.url(QStringLiteral("/file")));
    QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 1, 15000);
    const QString path = saved.first().first().toString();
    const QString name = QFileInfo(path).fileName();
    QVERIFY2(name.toUtf8().size() <= 255 && name.endsWith(QLatin1String("nnn.pdf")), qPrintable(name));
    QCOMPARE(QFileInfo(path).size(), file.body.size());
    // The page stays, and the navigation that became a download ends as
    // a finished one, not as a failure.
    QTRY_COMPARE(m_delegates.finished, 2);
    QVERIFY(m_delegates.provisionalFailures.isEmpty());
    QCOMPARE(m_view->title(), QStringLiteral("plain"));
    QCOMPARE(run(*m_view, QStringLiteral("document.title")).toString(), QStringLiteral("plain"));

    m_view->load(m_server.url(QStringLiteral("/broken")));
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 15000);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("broken.bin"));
    QVERIFY(!failed.first().at(1).toString().isEmpty());
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().first().toString(), QStringLiteral("broken.bin"));
    QCOMPARE(progress.last().at(2).toLongLong(), qint64(broken.body.size()) * 10);
    // Nothing half-written is left behind.
    QTRY_VERIFY(!QFileInfo::exists(folder + QStringLiteral("/broken.bin")));
    QVERIFY(QDir(folder).entryList({QStringLiteral("broken*")}, QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(saved.size(), 1);
    QCOMPARE(m_view->title(), QStringLiteral("plain"));
}

QTEST_MAIN(TestWebKitHostile)
#include "tst_webkithostile.moc"
