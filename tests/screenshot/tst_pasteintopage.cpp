#include <memory>

#include <QBuffer>
#include <QClipboard>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QWidget>

#include "PastePage.h"
#include "platform/x11/X11ClipboardService.h"
#include "platform/x11/X11ScreenCaptureService.h"
#include "screenshot/ScreenshotPaster.h"
#include "support/LocalHttpServer.h"
#include "web/WebEngineFixture.h"

namespace {
// A capture that ends without having put anything on the clipboard.
class EmptyCapture : public ScreenCaptureService
{
public:
    std::optional<QString> startCapture(std::function<void()> ended) override
    {
        QMetaObject::invokeMethod(this, std::move(ended), Qt::QueuedConnection);
        return std::nullopt;
    }
};
} // namespace

// Pastes into a real page on the WebKitGTK engine: the screenshot paster's
// steps, and the user's own Ctrl+V of another program's image or text.
class TestPasteIntoPage : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void screenshotReachesTheChatBoxAsAFile_data();
    void screenshotReachesTheChatBoxAsAFile();
    void captureThatChangedNothingLeavesThePageAlone();
    void pageThatIgnoresTheEventGetsTheEnginesPaste();
    void ctrlVOfAnotherProgramsImageArrivesAsAFile();
    void ctrlVOfTextIsTheEnginesOwn();
    void ctrlVOfTextWithAPictureOfItPastesTheText();
    void textCopiedInThePagePastesAtOnce();
    void lockedDownPageGetsTheScreenshotWithoutSeeingHowItCame();
    void offeredBytesAnswerOnceAndOnlyTheirOwnPage();
    void closingThePageMidPasteIsHarmless();

private:
    void openPage(const QByteArray& body, bool take = true);
    QVariant js(const QString& script) { return PastePage::js(*m_view, script); }
    QVariantList pastes() { return PastePage::pastes(*m_view); }
    bool copyWithXclip(const QString& type, const QByteArray& content);
    // What the page's own script gets for these addresses fetched together:
    // the SHA-256 of their joined bytes in hex, or "failed".
    static QString fetchFromPage(WebView& view, const QStringList& addresses);

    QTemporaryDir m_dir;
    LocalHttpServer m_server;
    WebEngine* m_engine = nullptr;
    std::unique_ptr<WebView> m_view;
    QWidget m_window;
    std::unique_ptr<X11ClipboardService> m_clipboard;
    std::unique_ptr<X11ScreenCaptureService> m_capture;
    int m_pages = 0;
};

void TestPasteIntoPage::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.isListening());
    m_engine = loadedEngine();
    QVERIFY(m_engine);
    m_clipboard = X11ClipboardService::create();
    QVERIFY(m_clipboard);
    m_capture = std::make_unique<X11ScreenCaptureService>(*m_clipboard);
    m_window.resize(600, 500);
    m_window.show();
    QVERIFY(QTest::qWaitForWindowActive(&m_window));
}

void TestPasteIntoPage::init()
{
    m_view = m_engine->createView(WebViewOptions {});
    m_view->widget()->setParent(&m_window);
    m_view->widget()->setGeometry(0, 0, 600, 500);
    m_view->widget()->show();
}

void TestPasteIntoPage::cleanup()
{
    m_view.reset();
}

void TestPasteIntoPage::cleanupTestCase()
{
    // An xclip still serving the clipboard quits once it loses it.
    const std::uint64_t before = m_clipboard->changeCount();
    m_clipboard->setImage(QImage(1, 1, QImage::Format_RGB32));
    QCOMPARE(m_clipboard->changeCount(), before + 1);
}

void TestPasteIntoPage::openPage(const QByteArray& body, bool take)
{
    const QByteArray path = "/page-" + QByteArray::number(++m_pages);
    m_server.html(path, PastePage::html(body, take));
    m_view->load(m_server.url(QString::fromLatin1(path)));
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("Array.isArray(window.pastes)")).toBool(), 15000);
}

bool TestPasteIntoPage::copyWithXclip(const QString& type, const QByteArray& content)
{
    const QString path = m_dir.filePath(QStringLiteral("copied"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    const std::uint64_t before = m_clipboard->changeCount();
    // xclip stays in the background, serving the clipboard until another
    // program takes it.
    if (QProcess::execute(QStringLiteral("xclip"),
                          {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), type,
                           QStringLiteral("-i"), path})
        != 0)
        return false;
    return QTest::qWaitFor([&] { return m_clipboard->changeCount() > before; }, 5000);
}

void TestPasteIntoPage::screenshotReachesTheChatBoxAsAFile_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("focused");

    QTest::newRow("chat box by id") << QByteArray(R"(<textarea id="notes"></textarea>
        <div contenteditable="true" id="editor"></div><div id="prompt-textarea" contenteditable="true"></div>)")
                                    << QStringLiteral("prompt-textarea");
    QTest::newRow("editable before text area")
        << QByteArray(R"(<textarea id="notes"></textarea><div contenteditable="false" id="frozen"></div>
            <div contenteditable="true" id="editor"></div>)")
        << QStringLiteral("editor");
    QTest::newRow("text area") << QByteArray(R"(<input id="line"><textarea id="notes"></textarea>)")
                               << QStringLiteral("notes");
    // Nothing to focus: the paste still goes out, to the page's body.
    QTest::newRow("none") << QByteArray(R"(<input id="line"><p>Nothing to type in.</p>)") << QString();
}

void TestPasteIntoPage::screenshotReachesTheChatBoxAsAFile()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, focused);
    openPage(body);

    QList<bool> completions;
    int beeps = 0;
    ScreenshotPaster::captureAndPaste(*m_view, [&completions](bool pasted) { completions.append(pasted); },
                                      {*m_clipboard, *m_capture, [&beeps] { ++beeps; }});
    QTRY_COMPARE_WITH_TIMEOUT(completions, QList<bool> {true}, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(pastes().size(), 1, 10000);
    const QVariantMap paste = pastes().first().toMap();
    QCOMPARE(paste.value(QStringLiteral("active")).toString(), focused);
    QCOMPARE(paste.value(QStringLiteral("target")).toString(), focused.isEmpty() ? QStringLiteral("BODY") : focused);
    QCOMPARE(paste.value(QStringLiteral("files")).toList().size(), 1);
    const QVariantMap file = PastePage::firstFile(*m_view);
    QCOMPARE(file.value(QStringLiteral("type")).toString(), QStringLiteral("image/png"));
    QCOMPARE(PastePage::sizeOf(file), PastePage::xScreenSize());
    QCOMPARE(beeps, 0);
    // The page took the file; nothing else was pasted after it. The engine
    // gives no sign that it is done with a key, so allow it a moment.
    QTest::qWait(200);
    QCOMPARE(pastes().size(), 1);
}

void TestPasteIntoPage::captureThatChangedNothingLeavesThePageAlone()
{
    openPage(R"(<textarea id="prompt-textarea"></textarea>)");
    EmptyCapture nothing;
    QList<bool> completions;
    int beeps = 0;
    ScreenshotPaster::captureAndPaste(*m_view, [&completions](bool pasted) { completions.append(pasted); },
                                      {*m_clipboard, nothing, [&beeps] { ++beeps; }});
    QTRY_COMPARE(completions, QList<bool> {false});
    QCOMPARE(beeps, 1);
    // Nothing to wait for when nothing is pasted: a moment for a stray paste.
    QTest::qWait(200);
    QCOMPARE(pastes().size(), 0);
    QCOMPARE(PastePage::activeElement(*m_view), QString());
}

void TestPasteIntoPage::pageThatIgnoresTheEventGetsTheEnginesPaste()
{
    openPage(R"(<div contenteditable="true" id="editor"></div>)", false);
    QImage image(24, 12, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    m_clipboard->setImage(image);
    m_view->focusPage();
    QVERIFY(js(QStringLiteral("document.getElementById('editor').focus(); true")).toBool());
    m_view->paste();
    // Our event with the file, then the engine's own paste, which puts the
    // image into the editable element.
    QTRY_COMPARE_WITH_TIMEOUT(pastes().size(), 2, 10000);
    QCOMPARE(pastes().first().toMap().value(QStringLiteral("files")).toList().size(), 1);
    QTRY_VERIFY(js(QStringLiteral("!!document.querySelector('#editor img')")).toBool());
}

void TestPasteIntoPage::ctrlVOfAnotherProgramsImageArrivesAsAFile()
{
    openPage(R"(<input id="other"><textarea id="prompt-textarea"></textarea>)");
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&buffer, "PNG"));
    QVERIFY(copyWithXclip(QStringLiteral("image/png"), png));

    QVERIFY(PastePage::click(*m_view, QStringLiteral("other")));
    QTRY_COMPARE(PastePage::activeElement(*m_view), QStringLiteral("other"));
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+v")}));
    QTRY_COMPARE_WITH_TIMEOUT(pastes().size(), 1, 10000);
    QCOMPARE(pastes().first().toMap().value(QStringLiteral("target")).toString(), QStringLiteral("other"));
    const QVariantMap file = PastePage::firstFile(*m_view);
    QCOMPARE(file.value(QStringLiteral("type")).toString(), QStringLiteral("image/png"));
    QCOMPARE(PastePage::sizeOf(file), QSize(30, 20));
}

void TestPasteIntoPage::ctrlVOfTextIsTheEnginesOwn()
{
    openPage(R"(<input id="other"><textarea id="prompt-textarea"></textarea>)");
    const QString words = QStringLiteral("plain words, ünïcode");
    QVERIFY(copyWithXclip(QStringLiteral("UTF8_STRING"), words.toUtf8()));

    QVERIFY(PastePage::click(*m_view, QStringLiteral("other")));
    QTRY_COMPARE(PastePage::activeElement(*m_view), QStringLiteral("other"));
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+v")}));
    QTRY_COMPARE_WITH_TIMEOUT(js(QStringLiteral("document.getElementById('other').value")).toString(), words, 10000);
    QCOMPARE(pastes().size(), 1);
    const QVariantMap paste = pastes().first().toMap();
    QCOMPARE(paste.value(QStringLiteral("text")).toString(), words);
    QVERIFY(paste.value(QStringLiteral("files")).toList().isEmpty());
}

void TestPasteIntoPage::ctrlVOfTextWithAPictureOfItPastesTheText()
{
    // What spreadsheets put on the clipboard for copied cells.
    openPage(R"(<input id="other"><textarea id="prompt-textarea"></textarea>)");
    const QString cells = QStringLiteral("A1 B1 C1");
    QImage picture(60, 20, QImage::Format_RGB32);
    picture.fill(Qt::white);
    auto* data = new QMimeData;
    data->setText(cells);
    data->setImageData(picture);
    QGuiApplication::clipboard()->setMimeData(data);

    QVERIFY(PastePage::click(*m_view, QStringLiteral("other")));
    QTRY_COMPARE(PastePage::activeElement(*m_view), QStringLiteral("other"));
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+v")}));
    QTRY_COMPARE_WITH_TIMEOUT(js(QStringLiteral("document.getElementById('other').value")).toString(), cells, 10000);
    // A moment for a second paste of the picture, which must not come.
    QTest::qWait(200);
    QCOMPARE(pastes().size(), 1);
    QVERIFY(pastes().first().toMap().value(QStringLiteral("files")).toList().isEmpty());
}

void TestPasteIntoPage::textCopiedInThePagePastesAtOnce()
{
    openPage(R"(<input id="source" value="copied in the page"><input id="other">)");
    QVERIFY(PastePage::click(*m_view, QStringLiteral("source")));
    QTRY_COMPARE(PastePage::activeElement(*m_view), QStringLiteral("source"));
    const std::uint64_t before = m_clipboard->changeCount();
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c")}));
    // The engine itself holds the clipboard now.
    QTRY_VERIFY(m_clipboard->changeCount() > before);

    QVERIFY(PastePage::click(*m_view, QStringLiteral("other")));
    QTRY_COMPARE(PastePage::activeElement(*m_view), QStringLiteral("other"));
    QVERIFY(PastePage::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+v")}));
    // Reading our own engine's clipboard must not wait for a toolkit that is
    // itself waiting; bench_screenshot prints how long this paste takes.
    QTRY_COMPARE_WITH_TIMEOUT(js(QStringLiteral("document.getElementById('other').value")).toString(),
                              QStringLiteral("copied in the page"), 10000);
}

QString TestPasteIntoPage::fetchFromPage(WebView& view, const QStringList& addresses)
{
    const QString started
        = PastePage::js(view,
                        QStringLiteral(R"(window.fetched = null;
        Promise.all(%1.map(function (a) { return fetch(a).then(function (r) { return r.arrayBuffer(); }); }))
            .then(function (pieces) { return new Blob(pieces).arrayBuffer(); })
            .then(function (all) { return crypto.subtle.digest('SHA-256', all); })
            .then(function (digest) {
                window.fetched = Array.from(new Uint8Array(digest), function (b) {
                    return b.toString(16).padStart(2, '0'); }).join('');
            }, function () { window.fetched = 'failed'; });
        'started')")
                            .arg(QString::fromUtf8(
                                QJsonDocument(QJsonArray::fromStringList(addresses)).toJson(QJsonDocument::Compact))))
              .toString();
    if (started != QLatin1String("started"))
        return QStringLiteral("not started");
    QString fetched;
    QTest::qWaitFor(
        [&] {
            fetched = PastePage::js(view, QStringLiteral("window.fetched")).toString();
            return !fetched.isEmpty();
        },
        10000);
    return fetched;
}

void TestPasteIntoPage::lockedDownPageGetsTheScreenshotWithoutSeeingHowItCame()
{
    // A page whose policy allows no requests from its scripts, and whose
    // scripts watch the ways a picture could come in.
    QByteArray html = PastePage::html(R"(<textarea id="prompt-textarea"></textarea><script>
        window.seen = [];
        window.violations = [];
        document.addEventListener('securitypolicyviolation', function (e) { window.violations.push(e.blockedURI); });
        var realFetch = window.fetch;
        realFetch('/probe').catch(function () {});
        window.fetch = function (address) { window.seen.push(String(address)); return Promise.reject(new Error('no')); };
        window.atob = function () { window.seen.push('atob'); throw new Error('no'); };
        </script>)");
    html.replace("<head>", R"(<head><meta http-equiv="Content-Security-Policy" content="connect-src 'none'">)");
    m_server.html("/locked", html);
    m_view->load(m_server.url(QStringLiteral("/locked")));
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("Array.isArray(window.pastes)")).toBool(), 15000);
    // The policy holds for the page's own requests.
    QTRY_COMPARE(js(QStringLiteral("window.violations.length")).toInt(), 1);

    QList<bool> completions;
    ScreenshotPaster::captureAndPaste(*m_view, [&completions](bool pasted) { completions.append(pasted); },
                                      {*m_clipboard, *m_capture, [] {}});
    QTRY_COMPARE_WITH_TIMEOUT(completions, QList<bool> {true}, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(pastes().size(), 1, 10000);
    const QVariantMap file = PastePage::firstFile(*m_view);
    QCOMPARE(file.value(QStringLiteral("type")).toString(), QStringLiteral("image/png"));
    QCOMPARE(PastePage::sizeOf(file), PastePage::xScreenSize());
    QCOMPARE(js(QStringLiteral("JSON.stringify(window.seen)")).toString(), QStringLiteral("[]"));
    QCOMPARE(js(QStringLiteral("window.violations.length")).toInt(), 1);
    // Whatever the page's timeline lists besides its own server, the page
    // cannot fetch it.
    const QStringList listed = js(QStringLiteral("performance.getEntriesByType('resource')"
                                                 ".map(function (e) { return e.name; })"
                                                 ".filter(function (n) { return !n.startsWith('http'); })"))
                                   .toStringList();
    for (const QString& address : listed) {
        QVERIFY(js(QStringLiteral("window.fetch = realFetch; true")).toBool());
        QCOMPARE(fetchFromPage(*m_view, {address}), QStringLiteral("failed"));
    }
}

void TestPasteIntoPage::offeredBytesAnswerOnceAndOnlyTheirOwnPage()
{
    openPage(R"(<textarea id="prompt-textarea"></textarea>)");
    auto other = m_engine->createView(WebViewOptions {});
    other->widget()->setParent(&m_window);
    other->widget()->setGeometry(0, 0, 300, 200);
    other->load(m_server.url(QStringLiteral("/page-") + QString::number(m_pages)));
    QTRY_VERIFY_WITH_TIMEOUT(PastePage::js(*other, QStringLiteral("Array.isArray(window.pastes)")).toBool(), 15000);

    // Large enough to travel in several pieces.
    QByteArray bytes(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const QStringList addresses = m_view->offerOnce(bytes, QStringLiteral("application/octet-stream"));
    QVERIFY2(addresses.size() > 1, qPrintable(addresses.join(u' ')));
    QCOMPARE(QSet<QString>(addresses.begin(), addresses.end()).size(), addresses.size());

    // Another page of the same site is refused, and that costs the owner nothing.
    QCOMPARE(fetchFromPage(*other, addresses), QStringLiteral("failed"));
    QCOMPARE(fetchFromPage(*m_view, addresses), digest);
    // Once only.
    QCOMPARE(fetchFromPage(*m_view, addresses), QStringLiteral("failed"));
    QCOMPARE(fetchFromPage(*m_view, {addresses.last()}), QStringLiteral("failed"));

    // Withdrawn before anyone asked.
    const QStringList withdrawn = m_view->offerOnce(QByteArray("a few bytes"), QStringLiteral("text/plain"));
    QCOMPARE(withdrawn.size(), 1);
    m_view->withdrawOffer(withdrawn);
    QCOMPARE(fetchFromPage(*m_view, withdrawn), QStringLiteral("failed"));
    // An empty offer is still one address, with nothing in it.
    const QStringList empty = m_view->offerOnce(QByteArray(), QStringLiteral("text/plain"));
    QCOMPARE(empty.size(), 1);
    QCOMPARE(fetchFromPage(*m_view, empty),
             QString::fromLatin1(QCryptographicHash::hash(QByteArray(), QCryptographicHash::Sha256).toHex()));
}

void TestPasteIntoPage::closingThePageMidPasteIsHarmless()
{
    openPage(R"(<textarea id="prompt-textarea"></textarea>)");
    QImage noise(1200, 900, QImage::Format_RGB32);
    QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(noise.bits()), noise.sizeInBytes() / 4);
    m_clipboard->setImage(noise);
    m_view->focusPage();
    m_view->paste();
    m_view.reset();

    // The engine carries on, and the next page gets its paste.
    init();
    openPage(R"(<textarea id="prompt-textarea"></textarea>)");
    m_view->focusPage();
    m_view->paste();
    QTRY_COMPARE_WITH_TIMEOUT(pastes().size(), 1, 10000);
    QCOMPARE(PastePage::sizeOf(PastePage::firstFile(*m_view)), QSize(1200, 900));
}

QTEST_MAIN(TestPasteIntoPage)
#include "tst_pasteintopage.moc"
