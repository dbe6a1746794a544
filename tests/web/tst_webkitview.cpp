#include <csignal>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include "WebEngineFixture.h"
#include "support/LocalHttpServer.h"
#include "support/ProcessTree.h"
#include "support/WebViewFixture.h"

namespace {
const QString UserAgent = QStringLiteral("Mozilla/5.0 (iPad; CPU OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, "
                                         "like Gecko) Version/17.0 Mobile/15E148 Safari/604.1");

struct ScriptResult
{
    int calls = 0;
    QVariant value;
    QString error;
};

ScriptResult run(WebView& view, const QString& script, int timeoutMs = 10000)
{
    auto result = std::make_shared<ScriptResult>();
    view.evaluateJavaScript(script, [result](const QVariant& value, const QString& error) {
        ++result->calls;
        result->value = value;
        result->error = error;
    });
    if (!QTest::qWaitFor([&] { return result->calls > 0; }, timeoutMs))
        result->error = QStringLiteral("no answer in time");
    return *result;
}

QStringList clientList()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    xprop.waitForFinished(5000);
    return QString::fromUtf8(xprop.readAllStandardOutput()).section(QLatin1Char('#'), 1).split(QLatin1Char(','));
}
} // namespace

class TestWebKitView : public QObject, private WebViewFixture
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void userAgentReachesServerAndPage();
    void finishedLoadReportsTitleAndAddress();
    void failedLoads_data();
    void failedLoads();
    void newerLoadReplacesAPendingOne_data();
    void newerLoadReplacesAPendingOne();
    void newWindowsLoadInTheSameView_data();
    void newWindowsLoadInTheSameView();
    void dialogsAreAnsweredThroughTheDelegate_data();
    void dialogsAreAnsweredThroughTheDelegate();
    void answersAfterTheViewIsGoneAreHarmless();
    void killedWebProcessIsReportedAndReloadRecovers();
    void unshowableResponsesAreSavedUnderFreeNames();
    void permissionsOtherThanClipboardAreDenied();

private:
    LocalHttpServer m_server;
};

void TestWebKitView::initTestCase()
{
    QVERIFY(m_server.isListening());
    QVERIFY(startEngine(QRect(QPoint(), QSize(600, 500))));
}

void TestWebKitView::init()
{
    WebViewOptions options;
    options.userAgent = UserAgent;
    openView(options);
}

void TestWebKitView::cleanup()
{
    closeView();
}

void TestWebKitView::userAgentReachesServerAndPage()
{
    m_server.html("/ua", "<title>ua</title>");
    QVERIFY(loadAndWait(m_server.url(QStringLiteral("/ua"))));
    QCOMPARE(m_delegates.finished, 1);
    QCOMPARE(QString::fromUtf8(m_server.requestsFor("/ua").last().headers.value("user-agent")), UserAgent);
    QCOMPARE(run(*m_view, QStringLiteral("navigator.userAgent")).value.toString(), UserAgent);
}

void TestWebKitView::finishedLoadReportsTitleAndAddress()
{
    m_server.html("/titled", "<title>Grüße &amp; more</title><p>hello</p>");
    QSignalSpy titles(m_view.get(), &WebView::titleChanged);
    QSignalSpy urls(m_view.get(), &WebView::urlChanged);
    const QUrl address = m_server.url(QStringLiteral("/titled"));
    QVERIFY(loadAndWait(address));
    QCOMPARE(m_delegates.finished, 1);
    QVERIFY(m_delegates.provisionalFailures.isEmpty() && m_delegates.failures.isEmpty());
    // The engine may tell the title just after it says the load finished.
    QTRY_COMPARE(m_view->title(), QStringLiteral("Grüße & more"));
    QCOMPARE(m_view->url(), address);
    QVERIFY(!titles.isEmpty());
    QVERIFY(!urls.isEmpty());
    // Script results come back as their JSON values.
    const ScriptResult result = run(*m_view, QStringLiteral("({n: 2, s: document.title, a: [true]})"));
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    const QVariantMap map = result.value.toMap();
    QCOMPARE(map.value(QStringLiteral("n")).toInt(), 2);
    QCOMPARE(map.value(QStringLiteral("s")).toString(), QStringLiteral("Grüße & more"));
    QCOMPARE(run(*m_view, QStringLiteral("throw new Error('boom')")).error.isEmpty(), false);
}

void TestWebKitView::failedLoads_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("provisional");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("nothing listens") << "closed" << true << "";
    QTest::newRow("connection drops mid-body") << "drop" << false << "";
    QTest::newRow("server never answers") << "silent" << true << "timed out";
}

void TestWebKitView::failedLoads()
{
    QFETCH(QString, kind);
    QFETCH(bool, provisional);
    QFETCH(QString, messagePart);
    QUrl url;
    std::chrono::seconds timeout = WebView::DefaultTimeout;
    if (kind == QLatin1String("closed")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        url = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()));
    } else if (kind == QLatin1String("drop")) {
        LocalHttpServer::Route route;
        route.body = "<html><head><title>partial</title></head><body>" + QByteArray(4000, 'x');
        route.behaviour = LocalHttpServer::Route::Behaviour::DropMidBody;
        m_server.route("/drop", route);
        url = m_server.url(QStringLiteral("/drop"));
    } else {
        LocalHttpServer::Route silent;
        silent.behaviour = LocalHttpServer::Route::Behaviour::Silent;
        m_server.route("/silent", silent);
        url = m_server.url(QStringLiteral("/silent"));
        timeout = std::chrono::seconds(1);
    }
    m_view->load(url, timeout);
    QTRY_VERIFY_WITH_TIMEOUT(m_delegates.outcomes() > 0, 15000);
    // A second outcome must not follow; a moment for one that would.
    QTest::qWait(200);
    QCOMPARE(m_delegates.finished, 0);
    const QStringList& reported = provisional ? m_delegates.provisionalFailures : m_delegates.failures;
    const QStringList& other = provisional ? m_delegates.failures : m_delegates.provisionalFailures;
    QCOMPARE(reported.size(), 1);
    QVERIFY(other.isEmpty());
    QVERIFY(!reported.first().isEmpty());
    QVERIFY2(reported.first().contains(messagePart), qPrintable(reported.first()));
}

void TestWebKitView::newerLoadReplacesAPendingOne_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::newRow("first never answers") << QByteArray("/pending");
    QTest::newRow("first still arriving") << QByteArray("/trickle");
}

void TestWebKitView::newerLoadReplacesAPendingOne()
{
    QFETCH(QByteArray, first);
    LocalHttpServer::Route pending;
    pending.behaviour = LocalHttpServer::Route::Behaviour::Silent;
    m_server.route("/pending", pending);
    LocalHttpServer::Route trickle;
    trickle.body = "<title>trickle</title><p>" + QByteArray(4000, 'x');
    trickle.behaviour = LocalHttpServer::Route::Behaviour::DropMidBody;
    m_server.route("/trickle", trickle);
    m_server.html("/newer", "<title>newer</title>");

    m_view->load(m_server.url(QString::fromLatin1(first)));
    QTRY_COMPARE(m_server.requestsFor(first).size(), 1);
    if (first == "/trickle")
        QTRY_COMPARE(m_view->title(), QStringLiteral("trickle"));
    m_view->load(m_server.url(QStringLiteral("/newer")));
    QTRY_COMPARE_WITH_TIMEOUT(m_delegates.finished, 1, 10000);
    QTRY_COMPARE(m_view->title(), QStringLiteral("newer"));
    // The replaced load is reported too, as a failure of its own.
    QCOMPARE(m_delegates.provisionalFailures.size() + m_delegates.failures.size(), 1);
}

void TestWebKitView::newWindowsLoadInTheSameView_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("window.open") << "window.open('/target', 'other'); 1";
    QTest::newRow("link with a blank target") << "document.getElementById('blank').click(); 1";
}

void TestWebKitView::newWindowsLoadInTheSameView()
{
    QFETCH(QString, script);
    m_server.html("/opener", "<title>opener</title><a id=blank href=/target target=_blank>open</a>");
    m_server.html("/target", "<title>target</title>");
    QVERIFY(loadAndWait(m_server.url(QStringLiteral("/opener"))));
    const QStringList clientsBefore = clientList();
    run(*m_view, script);
    QTRY_COMPARE_WITH_TIMEOUT(m_view->title(), QStringLiteral("target"), 10000);
    QCOMPARE(m_delegates.newWindows, QList<QUrl> {m_server.url(QStringLiteral("/target"))});
    QTRY_COMPARE(m_delegates.finished, 2);
    // A window that must not appear gives nothing to wait for.
    QTest::qWait(300);
    QCOMPARE(clientList(), clientsBefore);
}

void TestWebKitView::dialogsAreAnsweredThroughTheDelegate_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QVariant>("promptAnswer");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("result");
    const QVariant none;
    QTest::newRow("alert") << "alert('Hi there'); 'after'" << true << none << "alert:Hi there"
                           << "after";
    QTest::newRow("confirm OK") << "String(confirm('Sure?'))" << true << none << "confirm:Sure?"
                                << "true";
    QTest::newRow("confirm Cancel") << "String(confirm('Sure?'))" << false << none << "confirm:Sure?"
                                    << "false";
    QTest::newRow("prompt text") << "String(prompt('Name?', 'Ann'))" << true << QVariant(QStringLiteral("Bob"))
                                 << "prompt:Name?|Ann"
                                 << "Bob";
    QTest::newRow("prompt empty OK") << "JSON.stringify(prompt('Name?'))" << true << QVariant(QString())
                                     << "prompt:Name?|"
                                     << "\"\"";
    QTest::newRow("prompt Cancel") << "String(prompt('Name?', 'Ann'))" << true << none << "prompt:Name?|Ann"
                                   << "null";
}

void TestWebKitView::dialogsAreAnsweredThroughTheDelegate()
{
    QFETCH(QString, script);
    QFETCH(bool, confirm);
    QFETCH(QVariant, promptAnswer);
    QFETCH(QString, dialog);
    QFETCH(QString, result);
    m_server.html("/dialogs", "<title>dialogs</title>");
    QVERIFY(loadAndWait(m_server.url(QStringLiteral("/dialogs"))));
    m_delegates.confirmAnswer = confirm;
    if (promptAnswer.isValid())
        m_delegates.promptAnswer = promptAnswer.toString();
    const ScriptResult answer = run(*m_view, script);
    QCOMPARE(m_delegates.dialogs, QStringList {dialog});
    QCOMPARE(answer.value.toString(), result);
    QCOMPARE(answer.calls, 1);

    // Without a delegate the page gets the answer of a dismissed dialog.
    m_view->setUiDelegate(nullptr);
    const ScriptResult alone = run(*m_view, QStringLiteral("String(confirm('x')) + String(prompt('y', 'z'))"));
    QCOMPARE(alone.value.toString(), QStringLiteral("falsenull"));
    QCOMPARE(m_delegates.dialogs.size(), 1);
}

void TestWebKitView::answersAfterTheViewIsGoneAreHarmless()
{
    m_server.html("/held", "<title>held</title>");
    QVERIFY(loadAndWait(m_server.url(QStringLiteral("/held"))));
    m_delegates.holdDialogs = true;
    auto script = std::make_shared<ScriptResult>();
    m_view->evaluateJavaScript(QStringLiteral("confirm('wait')"), [script](const QVariant&, const QString& error) {
        ++script->calls;
        script->error = error;
    });
    QTRY_VERIFY(m_delegates.heldAnswer != nullptr);

    // The view goes while its page waits on the dialog and on the script.
    m_view.reset();
    QCOMPARE(script->calls, 1);
    QVERIFY(!script->error.isEmpty());
    m_delegates.heldAnswer();
    // The engine's own loop would call back late, if at all: a moment for it.
    QTest::qWait(300);
    QCOMPARE(script->calls, 1);
}

void TestWebKitView::killedWebProcessIsReportedAndReloadRecovers()
{
    m_server.html("/alive", "<title>alive</title>");
    QVERIFY(loadAndWait(m_server.url(QStringLiteral("/alive"))));
    QSignalSpy terminated(m_view.get(), &WebView::webProcessTerminated);
    // The page's web process is among those below this test; WebKit may keep
    // a spare one too, which may go the same way.
    const QList<int> webProcesses = descendantsNamed("WebKitWebProces");
    QVERIFY(!webProcesses.isEmpty());
    for (int pid : webProcesses)
        QCOMPARE(::kill(pid, SIGKILL), 0);
    QVERIFY(terminated.wait(10000) || !terminated.isEmpty());
    m_view->reload();
    QTRY_COMPARE_WITH_TIMEOUT(m_delegates.finished, 2, 15000);
    QCOMPARE(run(*m_view, QStringLiteral("document.title")).value.toString(), QStringLiteral("alive"));
}

void TestWebKitView::unshowableResponsesAreSavedUnderFreeNames()
{
    LocalHttpServer::Route binary;
    binary.body = QByteArray("\x00\x01\x02payload", 10);
    binary.contentType = "application/octet-stream";
    binary.extraHeaders = {"Content-Disposition: attachment; filename=\"report.tar.gz\""};
    m_server.route("/report", binary);
    const QString folder = QDir::homePath() + QStringLiteral("/Downloads");
    QVERIFY(QDir().mkpath(folder));
    QFile existing(folder + QStringLiteral("/report.tar.gz"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    QVERIFY(existing.write("keep me") == 7);
    existing.close();

    QSignalSpy saved(m_view.get(), &WebView::downloadSaved);
    for (int i = 1; i <= 2; ++i) {
        m_view->load(m_server.url(QStringLiteral("/report")));
        QTRY_COMPARE_WITH_TIMEOUT(saved.size(), i, 15000);
    }
    QStringList paths {saved.at(0).at(0).toString(), saved.at(1).at(0).toString()};
    paths.sort();
    QCOMPARE(
        paths,
        (QStringList {folder + QStringLiteral("/report (2).tar.gz"), folder + QStringLiteral("/report (3).tar.gz")}));
    for (const QString& path : paths) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), binary.body);
    }
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("keep me"));
}

void TestWebKitView::permissionsOtherThanClipboardAreDenied()
{
    m_server.html("/ask", "<title>ask</title>");
    QVERIFY(loadAndWait(m_server.url(QStringLiteral("/ask"))));
    run(*m_view,
        QStringLiteral("window.answer = 'pending';"
                       "navigator.geolocation.getCurrentPosition(() => window.answer = 'granted',"
                       "  e => window.answer = 'denied ' + e.code); 1"));
    QTRY_COMPARE_WITH_TIMEOUT(run(*m_view, QStringLiteral("window.answer")).value.toString(),
                              QStringLiteral("denied 1"), 10000);
    run(*m_view, QStringLiteral("Notification.requestPermission().then(p => window.asked = p); 1"));
    QTRY_COMPARE_WITH_TIMEOUT(run(*m_view, QStringLiteral("window.asked")).value.toString(), QStringLiteral("denied"),
                              10000);
}

QTEST_MAIN(TestWebKitView)
#include "tst_webkitview.moc"
