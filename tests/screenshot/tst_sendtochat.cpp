#include <cstdio>
#include <memory>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QJsonDocument>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QTest>
#include <QToolButton>

#include "PastePage.h"
#include "files/FileRow.h"
#include "files/FilesListModel.h"
#include "files/FilesStore.h"
#include "files/FilesView.h"
#include "screenshot/FileToChat.h"
#include "support/LocalHttpServer.h"
#include "support/X11Tools.h"
#include "web/FilePaste.h"
#include "web/WebEngineFixture.h"

namespace {
// A chat page that records, for every paste and every drop, each file's
// name, type and size as the page reads them.
const QByteArray ChatPage = R"(<!doctype html><title>Chat</title>
<body style="margin:0"><div id=drop style="height:300px;background:#eef">drop here</div>
<textarea id=prompt-textarea></textarea><script>
window.events = [];
function record(kind, target, list) {
    var files = [];
    for (const file of list)
        files.push({name: file.name, type: file.type, size: file.size});
    window.events.push({kind: kind, target: target.id || target.tagName, files: files});
}
document.addEventListener('paste', function (event) { record('paste', event.target, event.clipboardData.files); });
document.addEventListener('dragover', function (event) { event.preventDefault(); });
document.addEventListener('drop', function (event) {
    event.preventDefault();
    record('drop', event.target, event.dataTransfer.files);
});
</script>)";

// Another program that takes file drops, as a file manager or a mail
// composer does: it prints each drop's URIs, one line per drop.
class DropTargetWindow : public QWidget
{
protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        event->acceptProposedAction();
        QStringList uris;
        for (const QUrl& url : event->mimeData()->urls())
            uris.append(url.toString(QUrl::FullyEncoded));
        std::printf("dropped %s\n", qPrintable(uris.join(QLatin1Char(' '))));
        std::fflush(stdout);
    }
};

int runDropTarget(int argc, char** argv)
{
    QApplication app(argc, argv);
    DropTargetWindow window;
    window.setWindowTitle(QStringLiteral("Drop target"));
    window.setAcceptDrops(true);
    window.resize(300, 300);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const QPoint centre = window.mapToGlobal(window.rect().center());
    std::printf("ready %d %d\n", centre.x(), centre.y());
    std::fflush(stdout);
    return app.exec();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}
} // namespace

// Shelf files to the chat on the real engine: "Send to Chat" and Ctrl+Return
// paste them into a local page, and a row dragged onto the page is dropped
// there as a file.
class TestSendToChat : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private:
    QTemporaryDir m_dir;
    LocalHttpServer m_server;
    WebEngine* m_engine = nullptr;
    std::unique_ptr<WebView> m_page;
    std::unique_ptr<FilesStore> m_store;
    std::unique_ptr<QWidget> m_window;
    FilesView* m_files = nullptr;
    QByteArray m_png;
    QByteArray m_pdf;

    QString shelf() const { return m_store->folderPath(); }
    QVariantList events()
    {
        const QString json = PastePage::js(*m_page, QStringLiteral("JSON.stringify(window.events || [])")).toString();
        return QJsonDocument::fromJson(json.toUtf8()).toVariant().toList();
    }
    static QVariantMap file(const QString& name, const QString& type, qsizetype size)
    {
        return {{QStringLiteral("name"), name}, {QStringLiteral("type"), type}, {QStringLiteral("size"), size}};
    }
    QPoint rowCentre(int row) const
    {
        QListView* list = m_files->listView();
        const QRect rect = list->visualRect(m_files->model()->index(row));
        return list->viewport()->mapToGlobal(QPoint(rect.left() + 60, rect.center().y()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_server.isListening());
        m_server.html("/chat", ChatPage);
        m_engine = loadedEngine();
        QVERIFY(m_engine);

        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QBuffer buffer(&m_png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
        m_pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n";
        const QString folder = m_dir.filePath(QStringLiteral("Documents/QuillnookFiles"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + QStringLiteral("/a shot.png"), m_png));
        QVERIFY(writeFile(folder + QStringLiteral("/notes.pdf"), m_pdf));
    }

    void init()
    {
        m_store = std::make_unique<FilesStore>(m_dir.filePath(QStringLiteral("Documents")));
        m_window = std::make_unique<QWidget>();
        m_window->resize(760, 520);
        auto* row = new QHBoxLayout(m_window.get());
        row->setContentsMargins(0, 0, 0, 0);
        m_files = new FilesView(*m_store);
        m_files->setFixedWidth(340);
        row->addWidget(m_files);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_page = m_engine->createView({});
        row->addWidget(m_page->widget(), 1);
        FilePaste::acceptFileDrops(*m_page);
        RecordingDelegates delegates;
        m_page->setNavigationDelegate(&delegates);
        m_page->load(m_server.url(QStringLiteral("/chat")));
        QTRY_COMPARE_WITH_TIMEOUT(delegates.finished, 1, 15000);
        m_page->setNavigationDelegate(nullptr);
        QTRY_COMPARE(m_files->model()->rowCount(), 2);
        // What the panel does with the request: the shelf's files to this page.
        connect(m_files, &FilesView::sendToChatRequested, m_page.get(), [this](const QList<QUrl>& files) {
            if (auto refused = FileToChat::send(m_page.get(), files))
                m_files->showNotice(*refused);
        });
    }

    void cleanup()
    {
        m_page.reset();
        m_window.reset();
        m_store.reset();
    }

    void sendToChatPastesEachFileWithItsNameTypeAndSize()
    {
        QListView* list = m_files->listView();
        list->setFocus();
        list->setCurrentIndex(m_files->model()->index(0));
        QVERIFY(m_files->sendButton()->isVisible());
        QCOMPARE(m_files->sendButton()->accessibleName(), QStringLiteral("Send to Chat"));

        // Ctrl+Return sends the one chosen row...
        QTest::keyClick(list, Qt::Key_Return, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(events().size(), 1, 15000);
        QVariantMap first = events().at(0).toMap();
        QCOMPARE(first.value(QStringLiteral("kind")).toString(), QStringLiteral("paste"));
        // ...into the chat box the focus script found.
        QCOMPARE(first.value(QStringLiteral("target")).toString(), QStringLiteral("prompt-textarea"));
        QCOMPARE(first.value(QStringLiteral("files")).toList(),
                 QVariantList {file(QStringLiteral("a shot.png"), QStringLiteral("image/png"), m_png.size())});
        QCOMPARE(PastePage::js(*m_page, QStringLiteral("document.getElementById('prompt-textarea').value")).toString(),
                 QString());

        // Both rows chosen, the button sends both in one event.
        list->selectAll();
        m_files->sendButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(events().size(), 2, 15000);
        QCOMPARE(events().at(1).toMap().value(QStringLiteral("files")).toList(),
                 (QVariantList {file(QStringLiteral("a shot.png"), QStringLiteral("image/png"), m_png.size()),
                                file(QStringLiteral("notes.pdf"), QStringLiteral("application/pdf"), m_pdf.size())}));
    }

    void nothingIsSentWithoutAPageOrForAnOversizedFile()
    {
        const QList<QUrl> png {QUrl::fromLocalFile(shelf() + QStringLiteral("/a shot.png"))};
        QCOMPARE(FileToChat::send(nullptr, png).value_or(QString()),
                 QStringLiteral("No page is open in the Browser to send to."));

        // Sparse: the size is what counts, not what is written.
        QFile big(shelf() + QStringLiteral("/big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(FileToChat::MaxFileSize + 1));
        big.close();
        QTRY_COMPARE(m_files->model()->rowCount(), 3);
        QListView* list = m_files->listView();
        list->setFocus();
        list->setCurrentIndex(m_files->model()->index(m_files->model()->rowOf(QUrl::fromLocalFile(big.fileName()))));
        QTest::keyClick(list, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(m_files->importNotice()->isVisible());
        QCOMPARE(m_files->importNotice()->text(),
                 QStringLiteral("“big.bin” is over 100 MB, too big to send to the chat."));
        QVERIFY(big.remove());
        // The page got nothing; a later send still goes through.
        QTRY_COMPARE(m_files->model()->rowCount(), 2);
        QCOMPARE(FileToChat::send(m_page.get(), png), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(events().size(), 1, 15000);
    }

    void rowDraggedOntoThePageArrivesInItsDrop()
    {
        QVERIFY(drag(rowCentre(1), m_page->widget()->mapToGlobal(QPoint(150, 100))));
        QTRY_COMPARE_WITH_TIMEOUT(events().size(), 1, 10000);
        const QVariantMap drop = events().at(0).toMap();
        QCOMPARE(drop.value(QStringLiteral("kind")).toString(), QStringLiteral("drop"));
        QCOMPARE(drop.value(QStringLiteral("files")).toList(),
                 QVariantList {file(QStringLiteral("notes.pdf"), QStringLiteral("application/pdf"), m_pdf.size())});
        // The shelf keeps its copy, and did not take the row in again.
        QVERIFY(QFile::exists(shelf() + QStringLiteral("/notes.pdf")));
        QCOMPARE(m_files->model()->rowCount(), 2);
    }

    void rowDraggedToAnotherProgramOffersTheShelfCopy()
    {
        QProcess target;
        target.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--drop-target")});
        QVERIFY(target.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(target.canReadLine(), 15000);
        const QStringList ready = QString::fromUtf8(target.readLine()).trimmed().split(QLatin1Char(' '));
        QCOMPARE(ready.value(0), QStringLiteral("ready"));
        const QPoint to(ready.value(1).toInt(), ready.value(2).toInt());

        QVERIFY(drag(rowCentre(0), to));
        QTRY_VERIFY_WITH_TIMEOUT(target.canReadLine(), 10000);
        QCOMPARE(QString::fromUtf8(target.readLine()).trimmed(),
                 QStringLiteral("dropped ")
                     + QUrl::fromLocalFile(shelf() + QStringLiteral("/a shot.png")).toString(QUrl::FullyEncoded));
        QVERIFY(QFile::exists(shelf() + QStringLiteral("/a shot.png")));
        X11Tools::endProgram(target);
    }

private:
    // A real drag with the mouse, through the X server.
    static bool drag(QPoint from, QPoint to)
    {
        QStringList steps {QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y()),
                           QStringLiteral("sleep"),     QStringLiteral("0.2"),     QStringLiteral("mousedown"),
                           QStringLiteral("1")};
        // The drag starts after a few pixels and follows in small moves, as a hand does.
        for (int i = 1; i <= 10; ++i) {
            const QPoint at = from + (to - from) * i / 10;
            steps << QStringLiteral("sleep") << QStringLiteral("0.05") << QStringLiteral("mousemove")
                  << QString::number(at.x()) << QString::number(at.y());
        }
        steps << QStringLiteral("sleep") << QStringLiteral("0.3") << QStringLiteral("mouseup") << QStringLiteral("1");
        return PastePage::xdotool(steps);
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--drop-target") == 0)
        return runDropTarget(argc, argv);
    TestSendToChat::initMain();
    QApplication app(argc, argv);
    TestSendToChat test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sendtochat.moc"
