#include <cstdio>
#include <memory>

#include <QApplication>
#include <QCryptographicHash>
#include <QTest>
#include <QWidget>

#include "base/Notices.h"
#include "platform/ClipboardService.h"
#include "platform/ScreenCaptureService.h"
#include "screenshot/ScreenshotPaster.h"
#include "web/WebView.h"

// The paster's steps, in the order they happen, across all the fakes.
using Log = QStringList;

namespace {
class FakeClipboard : public ClipboardService
{
public:
    explicit FakeClipboard(Log& log)
        : m_log(log)
    { }
    std::uint64_t changeCount() override
    {
        m_log << QStringLiteral("changeCount");
        return count;
    }
    QImage image() override { return {}; }
    void setImage(const QImage&) override { ++count; }

    std::uint64_t count = 7;

private:
    Log& m_log;
};

// Holds each capture's end until the test lets it happen.
class FakeCapture : public ScreenCaptureService
{
public:
    explicit FakeCapture(Log& log)
        : m_log(log)
    { }
    std::optional<QString> startCapture(std::function<void()> ended) override
    {
        m_log << QStringLiteral("startCapture");
        if (failure)
            return failure;
        running.push_back(std::move(ended));
        return std::nullopt;
    }
    void endOldest()
    {
        auto ended = std::move(running.front());
        running.erase(running.begin());
        ended();
    }

    std::optional<QString> failure;
    std::vector<std::function<void()>> running;

private:
    Log& m_log;
};

class FakeWebView : public WebView
{
public:
    explicit FakeWebView(Log& log)
        : m_log(log)
    { }
    QWidget* widget() override { return &m_widget; }
    void load(const QUrl&, std::chrono::seconds) override { }
    void stopLoading() override { }
    void reload() override { }
    void navigateFromPage(const QUrl&) override { }
    bool isResponsive() const override { return true; }
    void terminateWebProcess() override { }
    QUrl url() const override { return {}; }
    QString title() const override { return {}; }
    void evaluateJavaScript(const QString& script, ScriptCompletion completion) override
    {
        m_log << QStringLiteral("evaluateJavaScript");
        scripts << script;
        pendingScripts.push_back(std::move(completion));
    }
    void focusPage() override { m_log << QStringLiteral("focusPage"); }
    void paste() override { m_log << QStringLiteral("paste"); }

    // The page answers the oldest script.
    void finishScript(const QString& error = {})
    {
        auto completion = std::move(pendingScripts.front());
        pendingScripts.erase(pendingScripts.begin());
        completion(error.isEmpty() ? QVariant(true) : QVariant(), error);
    }

    QStringList scripts;
    std::vector<ScriptCompletion> pendingScripts;

private:
    Log& m_log;
    QWidget m_widget;
};
} // namespace

class TestScreenshotPaster : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void focusScriptIsExactlyTheChatBoxFinder();
    void decidesByTheChangeCountAlone_data();
    void decidesByTheChangeCountAlone();
    void pastesOnlyAfterTheScriptFinished_data();
    void pastesOnlyAfterTheScriptFinished();
    void captureThatCannotStartSaysWhyAndBeeps();
    void eachCallComparesAgainstItsOwnBaseline();
    void closedTabGetsNothing();

private:
    ScreenshotPaster::Services services()
    {
        return {*m_clipboard, *m_capture, [this] { m_log << QStringLiteral("beep"); }};
    }
    void capture()
    {
        ScreenshotPaster::captureAndPaste(
            *m_view,
            [this](bool pasted) {
                m_log << (pasted ? QStringLiteral("completion(true)") : QStringLiteral("completion(false)"));
            },
            services());
    }
    QString messages()
    {
        std::fflush(m_messages);
        std::rewind(m_messages);
        QByteArray text;
        char buffer[256];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, m_messages))
            text.append(buffer, static_cast<qsizetype>(n));
        return QString::fromUtf8(text);
    }

    Log m_log;
    std::unique_ptr<FakeClipboard> m_clipboard;
    std::unique_ptr<FakeCapture> m_capture;
    std::unique_ptr<FakeWebView> m_view;
    std::FILE* m_messages = nullptr;
};

void TestScreenshotPaster::init()
{
    m_log.clear();
    m_clipboard = std::make_unique<FakeClipboard>(m_log);
    m_capture = std::make_unique<FakeCapture>(m_log);
    m_view = std::make_unique<FakeWebView>(m_log);
    m_messages = std::tmpfile();
    QVERIFY(m_messages);
    Notices::setStream(m_messages);
}

void TestScreenshotPaster::cleanup()
{
    m_view.reset();
    m_capture.reset();
    m_clipboard.reset();
    Notices::setStream(stdout);
    std::fclose(m_messages);
}

void TestScreenshotPaster::focusScriptIsExactlyTheChatBoxFinder()
{
    const QByteArray script = ScreenshotPaster::focusScript();
    QCOMPARE(script.size(), 212);
    QCOMPARE(script.count('\n'), 5);
    QVERIFY(!script.endsWith('\n'));
    const QList<QByteArray> lines = script.split('\n');
    QCOMPARE(lines.at(0), QByteArrayLiteral("(function() {"));
    QVERIFY(lines.at(1).startsWith("    var el = document.querySelector('#prompt-textarea')"));
    QVERIFY(lines.at(2).startsWith("        || document.querySelector('[contenteditable=\"true\"]')"));
    QVERIFY(lines.at(3).startsWith("        || document.querySelector('textarea');"));
    QCOMPARE(lines.at(5), QByteArrayLiteral("})();"));
    QCOMPARE(QCryptographicHash::hash(script, QCryptographicHash::Sha256).toHex(),
             QByteArrayLiteral("dfc24c8bc2e95eadbe71e0776654ec55fecf383c878b09a4527b90942bd4febc"));

    // And that is what reaches the page.
    m_clipboard->count = 1;
    capture();
    m_clipboard->count = 2;
    m_capture->endOldest();
    QCOMPARE(m_view->scripts, QStringList {QString::fromUtf8(script)});
}

void TestScreenshotPaster::decidesByTheChangeCountAlone_data()
{
    QTest::addColumn<bool>("captureWrites");
    QTest::addColumn<bool>("otherProgramWrites");
    QTest::addColumn<QStringList>("afterEnd");

    const QStringList pasted {QStringLiteral("changeCount"), QStringLiteral("focusPage"),
                              QStringLiteral("evaluateJavaScript"), QStringLiteral("paste"),
                              QStringLiteral("completion(true)")};
    QTest::newRow("capture wrote") << true << false << pasted;
    // Whatever reached the clipboard meanwhile is pasted.
    QTest::newRow("another program wrote mid-capture") << false << true << pasted;
    QTest::newRow("both wrote") << true << true << pasted;
    QTest::newRow("nothing changed") << false << false
                                     << QStringList {QStringLiteral("changeCount"), QStringLiteral("beep"),
                                                     QStringLiteral("completion(false)")};
}

void TestScreenshotPaster::decidesByTheChangeCountAlone()
{
    QFETCH(bool, captureWrites);
    QFETCH(bool, otherProgramWrites);
    QFETCH(QStringList, afterEnd);

    capture();
    QCOMPARE(m_log, (QStringList {QStringLiteral("changeCount"), QStringLiteral("startCapture")}));
    m_log.clear();

    if (otherProgramWrites)
        m_clipboard->count += 1;
    if (captureWrites)
        m_clipboard->setImage(QImage(4, 4, QImage::Format_RGB32));
    m_capture->endOldest();
    while (!m_view->pendingScripts.empty())
        m_view->finishScript();
    QCOMPARE(m_log, afterEnd);
    QCOMPARE(messages(), QString());
}

void TestScreenshotPaster::pastesOnlyAfterTheScriptFinished_data()
{
    QTest::addColumn<QString>("scriptError");
    QTest::newRow("script ran") << QString();
    // A page whose script throws, or that has no chat box, still gets the paste.
    QTest::newRow("script failed") << QStringLiteral("ReferenceError: document is not defined");
}

void TestScreenshotPaster::pastesOnlyAfterTheScriptFinished()
{
    QFETCH(QString, scriptError);
    capture();
    ++m_clipboard->count;
    m_capture->endOldest();
    QCOMPARE(m_log.last(), QStringLiteral("evaluateJavaScript"));
    QVERIFY(!m_log.contains(QStringLiteral("paste")));

    m_view->finishScript(scriptError);
    QCOMPARE(m_log.mid(m_log.size() - 2), (QStringList {QStringLiteral("paste"), QStringLiteral("completion(true)")}));
    QVERIFY(!m_log.contains(QStringLiteral("beep")));
}

void TestScreenshotPaster::captureThatCannotStartSaysWhyAndBeeps()
{
    m_capture->failure = QStringLiteral("cannot connect to the X server on display \":9\"");
    capture();
    QCOMPARE(m_log,
             (QStringList {QStringLiteral("changeCount"), QStringLiteral("startCapture"), QStringLiteral("beep"),
                           QStringLiteral("completion(false)")}));
    QCOMPARE(messages(),
             QStringLiteral("⚠️ Could not capture the screen: cannot connect to the X server on display \":9\"\n"));
    QVERIFY(m_view->scripts.isEmpty());
}

void TestScreenshotPaster::eachCallComparesAgainstItsOwnBaseline()
{
    capture();
    ++m_clipboard->count; // the first capture's image
    capture();
    m_capture->endOldest();
    m_capture->endOldest();
    while (!m_view->pendingScripts.empty())
        m_view->finishScript();
    // The second capture started after the change and saw none of its own.
    QCOMPARE(m_log.count(QStringLiteral("paste")), 1);
    QCOMPARE(m_log.count(QStringLiteral("completion(true)")), 1);
    QCOMPARE(m_log.count(QStringLiteral("beep")), 1);
    QCOMPARE(m_log.count(QStringLiteral("completion(false)")), 1);
}

void TestScreenshotPaster::closedTabGetsNothing()
{
    capture();
    ++m_clipboard->count;
    m_view.reset();
    m_log.clear();
    m_capture->endOldest();
    QCOMPARE(m_log, (QStringList {QStringLiteral("changeCount"), QStringLiteral("completion(false)")}));

    // Closed while its script ran: the completion still comes, once.
    m_view = std::make_unique<FakeWebView>(m_log);
    capture();
    ++m_clipboard->count;
    m_capture->endOldest();
    auto pending = std::move(m_view->pendingScripts.front());
    m_view.reset();
    m_log.clear();
    pending({}, QStringLiteral("the page went away"));
    QCOMPARE(m_log, QStringList {QStringLiteral("completion(false)")});
}

QTEST_MAIN(TestScreenshotPaster)
#include "tst_screenshotpaster.moc"
