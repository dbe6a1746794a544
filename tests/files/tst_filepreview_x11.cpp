// The file preview on the real web engine, inside the Files tool.
#include <cmath>
#include <memory>

#include <QDrag>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "files/FilePreview.h"
#include "files/FilesStore.h"
#include "files/FilesView.h"
#include "support/FileBytes.h"
#include "support/LocalHttpServer.h"
#include "support/X11Tools.h"
#include "web/WebEngineFixture.h"
#include "web/WebEngineLoader.h"
#include "web/WebView.h"

#include <fcntl.h>
#include <unistd.h>

namespace {
// A window a drag starts from, which notes the press that starts it.
class DragSource : public QWidget
{
public:
    bool pressed = false;

protected:
    void mousePressEvent(QMouseEvent*) override { pressed = true; }
};

// What a script in the page's own world answers, as text; empty on failure.
QString evaluate(WebView& view, const QString& script)
{
    auto answer = std::make_shared<std::optional<QString>>();
    view.evaluateJavaScript(script, [answer](const QVariant& value, const QString& error) {
        *answer = error.isEmpty() ? value.toString() : QStringLiteral("error: ") + error;
    });
    if (!QTest::qWaitFor([&] { return answer->has_value(); }, 10000))
        return QString();
    return answer->value_or(QString());
}

// Pixels of text-like darkness on a white page, within the part of a widget
// below the viewer's toolbar that its window shows. An empty viewer is grey.
int darkPixelsOnWhite(QWidget* widget)
{
    QWidget* window = widget->window();
    const QRect shown = QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()).intersected(window->rect());
    const QRect area = shown.adjusted(0, 60, 0, -10).translated(window->mapToGlobal(QPoint(0, 0)));
    const QImage shot
        = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    int dark = 0;
    int white = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const int gray = qGray(shot.pixel(x, y));
            dark += gray < 80;
            white += gray > 250;
        }
    }
    return white > 5000 ? dark : 0;
}

// A mono 8 kHz, 16-bit WAV file of a quiet tone lasting `seconds`.
QByteArray wave(double seconds)
{
    const int rate = 8000;
    const int samples = int(seconds * rate);
    QByteArray data;
    for (int i = 0; i < samples; ++i) {
        const auto value = qint16(3000 * std::sin(i * 2 * 3.14159265 * 440 / rate));
        data.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
    }
    const auto le32 = [](quint32 v) {
        const char bytes[] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char(v >> 24)};
        return QByteArray(bytes, 4);
    };
    const auto le16 = [](quint16 v) {
        const char bytes[] = {char(v & 0xff), char(v >> 8)};
        return QByteArray(bytes, 2);
    };
    return "RIFF" + le32(36 + quint32(data.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(rate)
        + le32(rate * 2) + le16(2) + le16(16) + "data" + le32(quint32(data.size())) + data;
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    const auto be32 = [](quint32 v) {
        const char bytes[] = {char(v >> 24), char((v >> 16) & 0xff), char((v >> 8) & 0xff), char(v & 0xff)};
        return QByteArray(bytes, 4);
    };
    const QByteArray body = type + data;
    quint32 c = 0xffffffffu;
    for (const char byte : body) {
        c ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
    }
    return be32(quint32(data.size())) + body + be32(~c);
}

// A PNG whose header claims `width` × `height` pixels, without the pixels:
// only the header is read before such a file is refused.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    const auto be32 = [](quint32 v) {
        const char bytes[] = {char(v >> 24), char((v >> 16) & 0xff), char((v >> 8) & 0xff), char(v & 0xff)};
        return QByteArray(bytes, 4);
    };
    return QByteArray("\x89PNG\r\n\x1a\n", 8)
        + pngChunk("IHDR", be32(width) + be32(height) + QByteArray("\x08\x02\x00\x00\x00", 5))
        + pngChunk("IDAT", QByteArray()) + pngChunk("IEND", QByteArray());
}

} // namespace

class TestFilePreviewX11 : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private:
    QTemporaryDir m_documents;
    std::unique_ptr<WebEngineLoader> m_engines;
    std::unique_ptr<FilesStore> m_store;
    std::unique_ptr<FilesView> m_view;

    QUrl shelved(const QString& name) const { return QUrl::fromLocalFile(m_store->folderPath() + u'/' + name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_documents.isValid());
        m_store = std::make_unique<FilesStore>(m_documents.path());
        const QString shelf = m_store->folderPath();
        // Its own script would retitle the page and read a file beside it.
        writeBytes(shelf + u"/page.html"_qs,
                   "<title>quiet</title><p id=p>hello</p><script>document.title = 'ran';"
                   "fetch('secret.txt').then(r => r.text()).then(t => document.title = t)</script>");
        writeBytes(shelf + u"/secret.txt"_qs, "the secret");
        writeBytes(shelf + u"/notes.md"_qs, "# Shopping\n- lemons\n");
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(shelf + u"/photo.png"_qs));
        writeBytes(shelf + u"/bundle.zip"_qs, "PK\x03\x04");
        {
            QPdfWriter pdf(shelf + u"/plan.pdf"_qs);
            QPainter painter(&pdf);
            painter.setFont(QFont(u"DejaVu Sans"_qs, 40));
            painter.drawText(QPointF(200, 600), u"Floor plan"_qs);
        }
        writeBytes(shelf + u"/chime.wav"_qs, wave(1.5));
        m_store->refresh();

        m_engines = std::make_unique<WebEngineLoader>(QStringList {QStringLiteral(QUILLNOOK_WEB_MODULE_PATH)});
        m_view = std::make_unique<FilesView>(*m_store, m_engines.get());
        m_view->resize(360, 560);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        QSignalSpy ready(m_engines.get(), &WebEngineProvider::ready);
        m_engines->startNow();
        QVERIFY2(ready.wait(30000), qPrintable(m_engines->unavailableReason()));
        // Nothing made until a file is previewed.
        QVERIFY(!m_view->preview()->webView());
    }

    void cleanupTestCase()
    {
        m_view.reset();
        m_store.reset();
    }

    void rendersShelfFilesWithoutTheirScripts()
    {
        FilePreview* preview = m_view->preview();
        // The engine's PDF viewer draws the page: dark text on white below its
        // toolbar, where an empty viewer is all grey.
        m_view->setPreviewingURL(shelved(u"plan.pdf"_qs));
        QVERIFY(preview->isShowingWebView());
        QWidget* page = preview->webView()->widget();
        QTRY_VERIFY_WITH_TIMEOUT(darkPixelsOnWhite(page) > 100, 20000);

        m_view->setPreviewingURL(shelved(u"page.html"_qs));
        QVERIFY(preview->isShowingWebView());
        WebView* web = preview->webView();
        QVERIFY(web);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(*web, u"document.getElementById('p') ? 'shown' : ''"_qs), u"shown"_qs,
                                  15000);
        QCOMPARE(web->url(), shelved(u"page.html"_qs));
        // Give a script that did run time to finish; the title stays the file's own.
        QTest::qWait(500);
        QCOMPARE(evaluate(*web, u"document.title"_qs), u"quiet"_qs);

        m_view->setPreviewingURL(shelved(u"notes.md"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(
            evaluate(*web, u"document.body ? document.body.innerText : ''"_qs).contains(u"lemons"_qs), 15000);

        m_view->setPreviewingURL(shelved(u"photo.png"_qs));
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(*web, u"document.images.length ? String(document.images[0].naturalWidth) : ''"_qs), u"40"_qs,
            15000);
        QCOMPARE(preview->webView(), web);
    }

    void playsSoundFromTheShelf()
    {
        m_view->setPreviewingURL(shelved(u"chime.wav"_qs));
        WebView* web = m_view->preview()->webView();
        // Read by the page's own sandboxed process, straight from the shelf.
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(*web, u"var m = document.querySelector('audio, video'); m ? String(m.duration) : ''"_qs),
            u"1.5"_qs, 15000);
    }

    void aDropOnThePreviewImportsAndKeepsIt()
    {
        writeBytes(m_documents.filePath(u"dropped.txt"_qs), "dropped on the page");
        m_view->setPreviewingURL(shelved(u"photo.png"_qs));
        WebView* web = m_view->preview()->webView();
        QTRY_COMPARE_WITH_TIMEOUT(web->url(), shelved(u"photo.png"_qs), 15000);

        // A real drag from another window, the pointer moved by the X server's
        // test extension, released over the middle of the previewed page.
        DragSource source;
        source.setWindowTitle(u"drag source"_qs);
        source.setGeometry(20, 40, 160, 160);
        source.show();
        QVERIFY(QTest::qWaitForWindowExposed(&source));
        // The window manager may still be placing it: the press below goes
        // where Qt believes the window is once the server agrees.
        QTRY_COMPARE(X11Tools::geometry(QString::number(source.winId())),
                     QRect(source.mapToGlobal(QPoint(0, 0)), source.size()));
        const QPoint from = source.mapToGlobal(source.rect().center());
        const QPoint to = web->widget()->mapToGlobal(web->widget()->rect().center());
        QProcess pointer;
        pointer.start(u"xdotool"_qs,
                      {u"mousemove"_qs, QString::number(from.x()), QString::number(from.y()), u"mousedown"_qs, u"1"_qs,
                       u"sleep"_qs, u"0.6"_qs, u"mousemove"_qs, QString::number(to.x() - 30), QString::number(to.y()),
                       u"sleep"_qs, u"0.4"_qs, u"mousemove"_qs, QString::number(to.x()), QString::number(to.y()),
                       u"sleep"_qs, u"0.6"_qs, u"mouseup"_qs, u"1"_qs});
        QVERIFY(pointer.waitForStarted());
        // The drag starts from the press, as it does for a person.
        QTRY_VERIFY_WITH_TIMEOUT(source.pressed, 10000);
        auto* drag = new QDrag(&source);
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(m_documents.filePath(u"dropped.txt"_qs))});
        drag->setMimeData(mime);
        drag->exec(Qt::CopyAction);
        QTRY_COMPARE_WITH_TIMEOUT(pointer.state(), QProcess::NotRunning, 10000);

        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(shelved(u"dropped.txt"_qs).toLocalFile()), 10000);
        QCOMPARE(m_view->previewingURL(), shelved(u"photo.png"_qs));
        // The page must not follow the dropped file; a moment for it to wrongly do so.
        QTest::qWait(500);
        QCOMPARE(web->url(), shelved(u"photo.png"_qs));
    }

    void theSameFileKeepsItsPage()
    {
        FilePreview* preview = m_view->preview();
        m_view->setPreviewingURL(shelved(u"notes.md"_qs));
        WebView* web = preview->webView();
        QTRY_VERIFY_WITH_TIMEOUT(
            evaluate(*web, u"document.body ? document.body.innerText : ''"_qs).contains(u"lemons"_qs), 15000);
        QCOMPARE(evaluate(*web, u"window.place = 'kept'; window.place"_qs), u"kept"_qs);
        // Redraws and a second request for the same file leave the page alone.
        preview->setUrl(shelved(u"notes.md"_qs));
        m_view->setPreviewingURL(shelved(u"notes.md"_qs));
        m_view->repaint();
        // A reload that must not come gives nothing to wait for: a moment for one.
        QTest::qWait(300);
        QCOMPARE(evaluate(*web, u"window.place"_qs), u"kept"_qs);
    }

    void aNameThatIsNotUtf8ShowsItsDetails()
    {
        const QByteArray path = QFile::encodeName(m_store->folderPath()) + "/list\xff\xfe.txt";
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "bytes on the shelf", 18), ssize_t(18));
        ::close(fd);
        m_store->refresh();
        const QUrl url = FilesStore::urlFromPath(path);
        QVERIFY(m_store->files().contains(url));
        m_view->setPreviewingURL(url);
        // The engine cannot open such a name; the details page shows it.
        FilePreview* preview = m_view->preview();
        QVERIFY(!preview->isShowingWebView());
        QVERIFY(preview->fallback()->isVisible());
        QCOMPARE(preview->fallbackName()->text(), QStringLiteral(u"list\uFFFD\uFFFD.txt"));
        QCOMPARE(preview->fallbackSize()->text(), u"18 bytes"_qs);
        QCOMPARE(m_view->previewNameLabel()->accessibleName(), QStringLiteral(u"list\uFFFD\uFFFD.txt"));
        m_view->setPreviewingURL(QUrl());
        m_store->deleteFile(url);
        QVERIFY(!m_store->files().contains(url));
    }

    void aPreviewReachesNothingButItsFile()
    {
        LocalHttpServer server;
        QVERIFY(server.isListening());
        const QByteArray remote = server.url(QString()).toEncoded();
        const QString shelf = m_store->folderPath();
        const QByteArray elsewhere = QUrl::fromLocalFile(m_documents.filePath(u"private.txt"_qs)).toEncoded();
        writeBytes(m_documents.filePath(u"private.txt"_qs), "private words");
        // Every kind of reach out: network and other files, by subresource,
        // frame, object and redirect.
        writeBytes(shelf + u"/tracker.html"_qs,
                   "<title>tracker</title><link rel=stylesheet href='" + remote
                       + "/style.css'>"
                         "<style>@import url('"
                       + remote + "/import.css'); body { background: url('" + remote
                       + "/bg.png') }</style>"
                         "<img src='"
                       + remote
                       + "/pixel.png'><img src='photo.png'>"
                         "<iframe src='"
                       + remote + "/frame.html'></iframe><iframe src='" + elsewhere
                       + "'></iframe>"
                         "<iframe src='secret.txt'></iframe><object data='"
                       + remote
                       + "/object.bin'></object>"
                         "<object data='secret.txt' type='text/plain'></object><embed src='"
                       + elsewhere
                       + "'>"
                         "<video src='"
                       + remote
                       + "/film.mp4' autoplay></video>"
                         "<meta http-equiv=refresh content='0;url="
                       + remote
                       + "/away'>"
                         "<p id=p>tracked</p>");
        writeBytes(shelf + u"/hop.svg"_qs,
                   "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='10' "
                   "height='10'><image href='"
                       + remote
                       + "/svg.png' width='10' height='10'/>"
                         "<image xlink:href='"
                       + elsewhere + "' width='10' height='10'/></svg>");
        writeBytes(shelf + u"/jump.html"_qs, "<meta http-equiv=refresh content='0;url=secret.txt'><p id=p>jump</p>");
        m_store->refresh();

        for (const QString& name : {u"tracker.html"_qs, u"hop.svg"_qs, u"jump.html"_qs}) {
            m_view->setPreviewingURL(shelved(name));
            WebView* web = m_view->preview()->webView();
            QTRY_VERIFY_WITH_TIMEOUT(
                web->url() == shelved(name) && evaluate(*web, u"document.readyState"_qs) == u"complete"_qs, 15000);
            // Long enough for any refresh and late load to have gone out.
            QTest::qWait(1500);
            QCOMPARE(web->url(), shelved(name));
            QCOMPARE(m_view->previewingURL(), shelved(name));
            // Nothing the page itself holds is blocked.
            if (name != u"hop.svg"_qs)
                QVERIFY(!evaluate(*web, u"document.getElementById('p') ? 'shown' : ''"_qs).isEmpty());
            // Loads that happened are listed here, other files among them.
            QCOMPARE(evaluate(*web, u"String(performance.getEntriesByType('resource').length)"_qs), u"0"_qs);
        }
        QByteArray asked;
        for (const auto& request : server.requests())
            asked += request.path + ' ';
        QVERIFY2(server.requests().isEmpty(), asked.constData());
    }

    void anImageOverThePixelBudgetIsRefused()
    {
        // 20000 × 20000: 1.6 GB once decoded.
        writeBytes(m_store->folderPath() + u"/huge.png"_qs, pngHeaderOnly(20000, 20000));
        m_store->refresh();
        m_view->setPreviewingURL(shelved(u"photo.png"_qs));
        WebView* web = m_view->preview()->webView();
        QTRY_COMPARE_WITH_TIMEOUT(web->url(), shelved(u"photo.png"_qs), 15000);
        m_view->setPreviewingURL(shelved(u"huge.png"_qs));
        FilePreview* preview = m_view->preview();
        QVERIFY(!preview->isShowingWebView());
        QTRY_VERIFY(preview->fallbackType()->text().contains(u"20000 × 20000 pixels, too large"_qs));
        QVERIFY(preview->fallback()->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(u"about:blank"_qs), 15000);

        // A large picture is decoded here, at the size it is shown at.
        QImage wide(3000, 1200, QImage::Format_RGB32);
        wide.fill(Qt::darkCyan);
        QVERIFY(wide.save(m_store->folderPath() + u"/wide.png"_qs));
        m_store->refresh();
        m_view->setPreviewingURL(shelved(u"wide.png"_qs));
        QVERIFY(preview->isShowingPicture());
        QTRY_VERIFY(!preview->picture()->pixmap().isNull());
        const QSize shown = preview->picture()->pixmap().size();
        QVERIFY2(shown.width() <= preview->width() * preview->devicePixelRatioF() + 1 && shown.width() > 100,
                 qPrintable(QStringLiteral("%1 x %2").arg(shown.width()).arg(shown.height())));
        QCOMPARE(shown.width() * 1200 / 3000, shown.height());
        QTest::mouseClick(m_view->backButton(), Qt::LeftButton);
        QVERIFY(preview->picture()->pixmap().isNull());
    }

    void otherTypesShowTheirDetailsAndBackLetsGo()
    {
        FilePreview* preview = m_view->preview();
        m_view->setPreviewingURL(shelved(u"photo.png"_qs));
        WebView* web = preview->webView();
        QTRY_COMPARE_WITH_TIMEOUT(web->url(), shelved(u"photo.png"_qs), 15000);
        m_view->setPreviewingURL(shelved(u"bundle.zip"_qs));
        QVERIFY(!preview->isShowingWebView());
        QVERIFY(preview->fallback()->isVisible());
        QCOMPARE(preview->fallbackName()->text(), u"bundle.zip"_qs);
        // The page behind the details is let go, so nothing keeps playing.
        QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(u"about:blank"_qs), 15000);

        m_view->setPreviewingURL(shelved(u"photo.png"_qs));
        QTRY_COMPARE_WITH_TIMEOUT(web->url(), shelved(u"photo.png"_qs), 15000);
        QTest::mouseClick(m_view->backButton(), Qt::LeftButton);
        QVERIFY(m_view->previewingURL().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(u"about:blank"_qs), 15000);
    }
};

QTEST_MAIN(TestFilePreviewX11)
#include "tst_filepreview_x11.moc"
