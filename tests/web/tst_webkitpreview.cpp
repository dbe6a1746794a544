#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "WebEngineFixture.h"
#include "support/LocalHttpServer.h"
#include "support/WebViewFixture.h"

namespace {
bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}
} // namespace

// The file preview shows a shelf file as the engine can, runs none of its
// scripts, and carries none of the browser's site data.
class TestWebKitPreview : public QObject, private WebViewFixture
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pdfOpensInTheBuiltInViewer();
    void scriptsInAFileDoNotRun();
    void previewCarriesNoSiteData();
    void unshowableFileIsNotDownloaded();

private:
    QTemporaryDir m_files;
    LocalHttpServer m_server;
};

void TestWebKitPreview::initTestCase()
{
    QVERIFY(startEngine(QRect(QPoint(), QSize(600, 600))));
}

void TestWebKitPreview::init()
{
    WebViewOptions options;
    options.purpose = WebViewOptions::Purpose::FilePreview;
    options.previewFolder = m_files.path();
    // A preview answers no dialogs.
    openView(options, false);
}

void TestWebKitPreview::cleanup()
{
    closeView();
}

void TestWebKitPreview::pdfOpensInTheBuiltInViewer()
{
    const QString path = m_files.filePath(QStringLiteral("letter.pdf"));
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A6));
        QPainter painter(&writer);
        painter.drawText(QRect(0, 0, 1000, 400), QStringLiteral("A letter kept on the shelf"));
    }
    QVERIFY(loadAndWait(*m_view, m_delegates, QUrl::fromLocalFile(path)));
    QCOMPARE(m_delegates.finished, 1);
    // The viewer draws its toolbar and the page on a grey backdrop, the text
    // in black; a viewer that could not run leaves the view white.
    auto shares = [this] {
        const QWidget* view = m_view->widget();
        const QPoint origin = view->mapToGlobal(QPoint(0, 0));
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(0, origin.x(), origin.y(), view->width(), view->height())
                                .toImage();
        int grey = 0, dark = 0;
        for (int y = 0; y < shot.height(); y += 2) {
            for (int x = 0; x < shot.width(); x += 2) {
                const int gray = qGray(shot.pixel(x, y));
                grey += gray > 128 && gray < 245 ? 1 : 0;
                dark += gray < 100 ? 1 : 0;
            }
        }
        const double all = std::max(1, (shot.width() / 2) * (shot.height() / 2));
        return std::pair<double, double> {grey / all, dark / all};
    };
    QTRY_VERIFY_WITH_TIMEOUT(shares().first > 0.05 && shares().second > 0.001, 10000);
}

void TestWebKitPreview::scriptsInAFileDoNotRun()
{
    const QString path = m_files.filePath(QStringLiteral("note.html"));
    QVERIFY(write(path, "<title>as written</title><script>document.title = 'script ran';</script><p>text</p>"));
    QVERIFY(loadAndWait(*m_view, m_delegates, QUrl::fromLocalFile(path)));
    QCOMPARE(m_delegates.finished, 1);
    // The title may arrive just after the load has finished; a script that
    // ran would change it again soon after.
    QTRY_COMPARE(m_view->title(), QStringLiteral("as written"));
    // A moment for a change that must not come.
    QTest::qWait(300);
    QCOMPARE(m_view->title(), QStringLiteral("as written"));
}

void TestWebKitPreview::previewCarriesNoSiteData()
{
    LocalHttpServer::Route set;
    set.body = "<title>set</title>";
    set.extraHeaders = {"Set-Cookie: login=secret; Path=/; Max-Age=3600"};
    m_server.route("/set", set);
    m_server.route("/pixel", {});
    auto browser = m_engine->createView({});
    RecordingDelegates browsing;
    browser->setNavigationDelegate(&browsing);
    QVERIFY(loadAndWait(*browser, browsing, m_server.url(QStringLiteral("/set"))));
    QCOMPARE(browsing.finished, 1);

    const QString path = m_files.filePath(QStringLiteral("tracker.html"));
    QVERIFY(
        write(path, "<title>tracker</title><img src='" + m_server.url(QStringLiteral("/pixel")).toEncoded() + "'>"));
    QVERIFY(loadAndWait(*m_view, m_delegates, QUrl::fromLocalFile(path)));
    QCOMPARE(m_delegates.finished, 1);
    // A shelf file reaches no server at all, with the user's cookies or without;
    // a request that must not come gives nothing to wait for.
    QTest::qWait(500);
    QCOMPARE(m_server.requestsFor("/pixel").size(), 0);
}

void TestWebKitPreview::unshowableFileIsNotDownloaded()
{
    const QString path = m_files.filePath(QStringLiteral("data.bin"));
    QVERIFY(write(path, QByteArray("\x00\x01\x02\x03", 4)));
    QSignalSpy saved(m_view.get(), &WebView::downloadSaved);
    QVERIFY(loadAndWait(*m_view, m_delegates, QUrl::fromLocalFile(path)));
    // A download that must not start gives nothing to wait for.
    QTest::qWait(500);
    QVERIFY(saved.isEmpty());
    QCOMPARE(m_delegates.finished, 0);
    const QDir downloads(QDir::homePath() + QStringLiteral("/Downloads"));
    QVERIFY(!downloads.exists() || downloads.isEmpty());
}

QTEST_MAIN(TestWebKitPreview)
#include "tst_webkitpreview.moc"
