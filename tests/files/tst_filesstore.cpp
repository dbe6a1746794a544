#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "files/FileCopy.h"
#include "files/FilesStore.h"
#include "support/FileBytes.h"
#include "support/StdoutCapture.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// Every item under a folder, hidden ones too, with its bytes (files), its
// target (links) or a mark (folders): what "left as it was" is checked against.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> items;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(folder).relativeFilePath(info.filePath());
        if (info.isSymLink()) {
            char target[4096];
            const ssize_t length = ::readlink(QFile::encodeName(info.filePath()).constData(), target, sizeof target);
            items[relative] = "link:" + QByteArray(target, length > 0 ? length : 0);
        } else if (info.isDir())
            items[relative] = "<folder>";
        else if (info.isFile())
            items[relative] = readBytes(info.filePath());
        else
            items[relative] = "<special>";
    }
    return items;
}

// A bound Unix socket: a folder item no copy can reproduce.
bool makeSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (fd < 0 || size_t(bytes.size()) >= sizeof(address.sun_path))
        return false;
    std::copy(bytes.begin(), bytes.end(), address.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

// Imports run on a worker thread; this waits for the one asked for.
void importNow(FilesStore& store, const QUrl& url)
{
    QSignalSpy finished(&store, &FilesStore::importsFinished);
    store.importFile(url);
    if (store.isImporting())
        QVERIFY(finished.wait(20000));
}

QByteArray shelfBytes(const QString& path)
{
    return QFile::encodeName(path);
}

QStringList names(const FilesStore& store)
{
    QStringList result;
    for (const QUrl& url : store.files())
        result.append(url.fileName());
    return result;
}
} // namespace

class TestFilesStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString documents() const { return m_dir->filePath(QStringLiteral("Documents")); }
    QString shelf() const { return documents() + QStringLiteral("/QuillnookFiles"); }
    QString outside(const QString& name) const { return m_dir->filePath(QStringLiteral("outside/") + name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { m_dir.reset(); }

    void makesTheShelfFolderWithItsParents()
    {
        const QString deep = m_dir->filePath(QStringLiteral("a/b/Documents"));
        FilesStore store(deep);
        QVERIFY(QFileInfo(deep + QStringLiteral("/QuillnookFiles")).isDir());
        QCOMPARE(store.folderURL(), QUrl::fromLocalFile(deep + QStringLiteral("/QuillnookFiles")));
        QVERIFY(store.files().isEmpty());
    }

    void sortsNames_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("case ignored") << QStringList {u"b.pdf"_qs, u"A.txt"_qs, u"c.png"_qs}
                                      << QStringList {u"A.txt"_qs, u"b.pdf"_qs, u"c.png"_qs};
        QTest::newRow("not numeric") << QStringList {u"file2.txt"_qs, u"file10.txt"_qs}
                                     << QStringList {u"file10.txt"_qs, u"file2.txt"_qs};
        QTest::newRow("hidden first by its dot")
            << QStringList {u"notes"_qs, u".hidden"_qs} << QStringList {u".hidden"_qs, u"notes"_qs};
        // By UTF-16 units the emoji (a surrogate pair) would come first.
        QTest::newRow("beyond U+FFFF by code point")
            << QStringList {QStringLiteral(u"\U0001F600.txt"), QStringLiteral(u"\uFF5E.txt")}
            << QStringList {QStringLiteral(u"\uFF5E.txt"), QStringLiteral(u"\U0001F600.txt")};
        QTest::newRow("composed and decomposed alike")
            << QStringList {QStringLiteral(u"e\u0301z"), QStringLiteral(u"\u00e9a"), QStringLiteral(u"f")}
            << QStringList {QStringLiteral(u"f"), QStringLiteral(u"\u00e9a"), QStringLiteral(u"e\u0301z")};
        QTest::newRow("equal keys keep their order") << QStringList {u"readme"_qs, u"b"_qs, u"README"_qs, u"ReadMe"_qs}
                                                     << QStringList {u"b"_qs, u"readme"_qs, u"README"_qs, u"ReadMe"_qs};
        QTest::newRow("upper case beyond ASCII")
            << QStringList {u"Zebra"_qs, QStringLiteral(u"\u00c4pfel"), u"apple"_qs}
            << QStringList {u"apple"_qs, u"Zebra"_qs, QStringLiteral(u"\u00c4pfel")};
    }
    void sortsNames()
    {
        QFETCH(QStringList, given);
        QFETCH(QStringList, sorted);
        FilesStore::sortByName(given);
        QCOMPARE(given, sorted);
    }

    void listsEveryDirectEntrySorted()
    {
        for (const char* name : {"b.pdf", "A.txt", "c.png", ".hidden"})
            writeBytes(shelf() + QLatin1Char('/') + QLatin1String(name), "x");
        writeBytes(shelf() + QStringLiteral("/Folder/inner.txt"), "inside");
        QVERIFY(QFile::link(QStringLiteral("/nowhere"), shelf() + QStringLiteral("/dangling")));
        FilesStore store(documents());
        QCOMPARE(names(store),
                 (QStringList {u".hidden"_qs, u"A.txt"_qs, u"b.pdf"_qs, u"c.png"_qs, u"dangling"_qs, u"Folder"_qs}));
        for (const QUrl& url : store.files())
            QCOMPARE(QFileInfo(url.toLocalFile()).path(), shelf());

        QSignalSpy changed(&store, &FilesStore::filesChanged);
        store.refresh();
        QCOMPARE(changed.count(), 1);
    }

    void importCopiesFilesAndFolders()
    {
        FilesStore store(documents());
        writeBytes(outside(QStringLiteral("report.pdf")), "%PDF-1.4 report");
        writeBytes(outside(QStringLiteral("empty.txt")), QByteArray());
        writeBytes(outside(QStringLiteral("Project/src/main.cpp")), "int main() {}");
        writeBytes(outside(QStringLiteral("Project/.config")), "hidden");
        QVERIFY(QFile::link(QStringLiteral("src/main.cpp"), outside(QStringLiteral("Project/entry"))));
        QVERIFY(QDir().mkpath(outside(QStringLiteral("Project/empty"))));
        QFile::setPermissions(outside(QStringLiteral("report.pdf")), QFile::ReadOwner | QFile::ReadGroup);

        StdoutCapture out;
        for (const char* name : {"report.pdf", "empty.txt", "Project"})
            importNow(store, QUrl::fromLocalFile(outside(QLatin1String(name))));
        QCOMPARE(out.text(), QByteArray());

        QCOMPARE(names(store), (QStringList {u"empty.txt"_qs, u"Project"_qs, u"report.pdf"_qs}));
        QCOMPARE(snapshot(shelf() + QStringLiteral("/Project")), snapshot(outside(QStringLiteral("Project"))));
        QCOMPARE(readBytes(shelf() + QStringLiteral("/report.pdf")), QByteArray("%PDF-1.4 report"));
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(shelf() + QStringLiteral("/report.pdf")).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0440u);
        QCOMPARE(QFileInfo(shelf() + QStringLiteral("/empty.txt")).size(), 0);
    }

    void importReplacesASameNamedItem_data()
    {
        QTest::addColumn<bool>("oldIsFolder");
        QTest::addColumn<bool>("newIsFolder");
        QTest::newRow("file over file") << false << false;
        QTest::newRow("folder over file") << true << false;
        QTest::newRow("file over folder") << false << true;
        QTest::newRow("folder over folder") << true << true;
    }
    void importReplacesASameNamedItem()
    {
        QFETCH(bool, oldIsFolder);
        QFETCH(bool, newIsFolder);
        if (oldIsFolder)
            writeBytes(shelf() + QStringLiteral("/notes.txt/old.txt"), "old");
        else
            writeBytes(shelf() + QStringLiteral("/notes.txt"), "old bytes");
        if (newIsFolder)
            writeBytes(outside(QStringLiteral("notes.txt/new.txt")), "new");
        else
            writeBytes(outside(QStringLiteral("notes.txt")), "new bytes, longer than the old");

        FilesStore store(documents());
        StdoutCapture out;
        importNow(store, QUrl::fromLocalFile(outside(QStringLiteral("notes.txt"))));
        QCOMPARE(out.text(), QByteArray());
        QCOMPARE(names(store), QStringList {u"notes.txt"_qs});
        // No scratch copy is left behind either.
        QCOMPARE(QDir(shelf()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
        QCOMPARE(snapshot(shelf() + QStringLiteral("/notes.txt")), snapshot(outside(QStringLiteral("notes.txt"))));
        if (!newIsFolder)
            QCOMPARE(readBytes(shelf() + QStringLiteral("/notes.txt")), QByteArray("new bytes, longer than the old"));
    }

    void failedImportLeavesTheShelfAsItWas_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("reasonPart");
        QTest::addColumn<bool>("replacing");
        QTest::newRow("missing source") << u"ghost.txt"_qs << u"No such file or directory"_qs << false;
        // Reading this file fails at its first byte, for every user.
        QTest::newRow("read error") << u"/proc/self/mem"_qs << u"Input/output error"_qs << false;
        QTest::newRow("read error over an older copy") << u"/proc/self/mem"_qs << u"Input/output error"_qs << true;
        QTest::newRow("folder holding a socket, over an older folder")
            << u"Bundle"_qs << u"sock: a socket or device cannot be copied"_qs << true;
        if (::geteuid() != 0)
            QTest::newRow("unreadable file over an older copy") << u"locked.txt"_qs << u"Permission denied"_qs << true;
    }
    void failedImportLeavesTheShelfAsItWas()
    {
        QFETCH(QString, source);
        QFETCH(QString, reasonPart);
        QFETCH(bool, replacing);
        const QString path = source.startsWith(QLatin1Char('/')) ? source : outside(source);
        const QString name = QFileInfo(path).fileName();
        if (name == QLatin1String("Bundle")) {
            writeBytes(outside(QStringLiteral("Bundle/a.txt")), "new a");
            QVERIFY(makeSocket(outside(QStringLiteral("Bundle/sock"))));
        } else if (name == QLatin1String("locked.txt")) {
            writeBytes(path, "secret");
            QFile::setPermissions(path, {});
        }
        writeBytes(shelf() + QStringLiteral("/keep.txt"), "unrelated");
        if (replacing && name == QLatin1String("Bundle"))
            writeBytes(shelf() + QStringLiteral("/Bundle/a.txt"), "old a");
        else if (replacing)
            writeBytes(shelf() + QLatin1Char('/') + name, QByteArray("old bytes\0kept", 14));

        FilesStore store(documents());
        const auto before = snapshot(shelf());
        const QStringList listed = names(store);
        StdoutCapture out;
        importNow(store, QUrl::fromLocalFile(path));
        const QByteArray printed = out.text();

        QVERIFY2(printed.startsWith(QStringLiteral("⚠️ Could not import %1: ").arg(name).toUtf8()), printed);
        QVERIFY2(printed.contains(reasonPart.toUtf8()), printed);
        QVERIFY(printed.endsWith('\n'));
        QCOMPARE(printed.count('\n'), 1);
        QCOMPARE(snapshot(shelf()), before);
        QCOMPARE(names(store), listed);
    }

    void importOfAShelfItemOntoItselfKeepsIt_data()
    {
        QTest::addColumn<QString>("via");
        QTest::newRow("the shelf path") << u"QuillnookFiles"_qs;
        QTest::newRow("a link to the shelf folder") << u"link-to-shelf"_qs;
        QTest::newRow("a messy path") << u"QuillnookFiles/./sub/.."_qs;
    }
    void importOfAShelfItemOntoItselfKeepsIt()
    {
        QFETCH(QString, via);
        writeBytes(shelf() + QStringLiteral("/sub/x"), "x");
        writeBytes(shelf() + QStringLiteral("/slides.pdf"), "%PDF slides");
        QVERIFY(QFile::link(shelf(), documents() + QStringLiteral("/link-to-shelf")));
        FilesStore store(documents());
        const auto before = snapshot(shelf());
        StdoutCapture out;
        importNow(store, QUrl::fromLocalFile(documents() + QLatin1Char('/') + via + QStringLiteral("/slides.pdf")));
        QCOMPARE(out.text(), QByteArray());
        QCOMPARE(snapshot(shelf()), before);
        QCOMPARE(names(store), (QStringList {u"slides.pdf"_qs, u"sub"_qs}));
    }

    void importOfAFolderHoldingTheShelfIsRefused()
    {
        writeBytes(documents() + QStringLiteral("/letter.txt"), "dear");
        FilesStore store(documents());
        const auto before = snapshot(m_dir->path());
        StdoutCapture out;
        importNow(store, QUrl::fromLocalFile(documents()));
        importNow(store, QUrl::fromLocalFile(shelf()));
        QCOMPARE(out.text(),
                 QByteArray("⚠️ Could not import Documents: the shelf folder is inside it\n"
                            "⚠️ Could not import QuillnookFiles: the shelf folder is inside it\n"));
        QCOMPARE(snapshot(m_dir->path()), before);
    }

    void importOfASubfolderOverItsParentIsRefused()
    {
        writeBytes(shelf() + QStringLiteral("/Proj/a.txt"), "a");
        writeBytes(shelf() + QStringLiteral("/Proj/Proj/b.txt"), "b");
        FilesStore store(documents());
        const auto before = snapshot(m_dir->path());
        QSignalSpy failed(&store, &FilesStore::importFailed);
        StdoutCapture out;
        importNow(store, QUrl::fromLocalFile(shelf() + QStringLiteral("/Proj/Proj")));
        QCOMPARE(out.text(),
                 QByteArray("⚠️ Could not import Proj: it is inside the shelf's Proj, which it would "
                            "replace\n"));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(snapshot(m_dir->path()), before);
    }

    void sparseFilesStaySparseAndACancelKeepsTheOldItem()
    {
        // 64 MB with 4 KB of data at each end.
        const QString path = outside(QStringLiteral("disk.img"));
        writeBytes(path, QByteArray(4096, 'a'));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(64 << 20));
            QCOMPARE(file.write(QByteArray(4096, 'z')), 4096);
        }
        FilesStore store(documents());
        importNow(store, QUrl::fromLocalFile(path));
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(shelf() + QStringLiteral("/disk.img")).constData(), &info), 0);
        QCOMPARE(info.st_size, off_t((64 << 20) + 4096));
        QVERIFY2(info.st_blocks * 512 < (1 << 20), qPrintable(QString::number(info.st_blocks)));
        QCOMPARE(readBytes(shelf() + QStringLiteral("/disk.img")), readBytes(path));

        // A cancelled replacement leaves the shelf's copy byte for byte.
        writeBytes(shelf() + QStringLiteral("/big.bin"), "old contents");
        writeBytes(outside(QStringLiteral("big.bin")), QByteArray(48 << 20, 'n'));
        store.refresh();
        QSignalSpy finished(&store, &FilesStore::importsFinished);
        store.importFile(QUrl::fromLocalFile(outside(QStringLiteral("big.bin"))));
        QVERIFY(store.isImporting());
        store.cancelImports();
        QVERIFY(finished.wait(20000));
        QCOMPARE(readBytes(shelf() + QStringLiteral("/big.bin")), QByteArray("old contents"));
        QCOMPARE(names(store), (QStringList {u"big.bin"_qs, u"disk.img"_qs}));
    }

    void deleteRemovesOnlyShelfEntries()
    {
        writeBytes(shelf() + QStringLiteral("/a.txt"), "a");
        writeBytes(shelf() + QStringLiteral("/Folder/deep/b.txt"), "b");
        writeBytes(outside(QStringLiteral("target/keep.txt")), "keep");
        QVERIFY(QFile::link(outside(QStringLiteral("target")), shelf() + QStringLiteral("/link")));
        FilesStore store(documents());
        QCOMPARE(store.files().size(), 3);

        StdoutCapture out;
        const QList<QUrl> listed = store.files();
        for (const QUrl& url : listed)
            store.deleteFile(url);
        QCOMPARE(out.text(), QByteArray());
        QVERIFY(store.files().isEmpty());
        QVERIFY(QDir(shelf()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
        // The link went, not what it pointed at.
        QCOMPARE(readBytes(outside(QStringLiteral("target/keep.txt"))), QByteArray("keep"));
    }

    void namesThatAreNotUtf8RoundTrip()
    {
        // Any bytes but "/" and NUL make a name.
        const QByteArray name = "bad\xff\xfename\n.txt";
        const QByteArray source = shelfBytes(outside(QString())) + name;
        QDir().mkpath(outside(QString()));
        const int fd = ::open(source.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "odd", 3), 3);
        ::close(fd);
        FilesStore store(documents());
        StdoutCapture out;
        importNow(store, FilesStore::urlFromPath(source));
        QCOMPARE(out.text(), QByteArray());
        QCOMPARE(store.files().size(), 1);
        const QUrl entry = store.files().constFirst();
        QCOMPARE(FilesStore::pathBytes(entry), shelfBytes(shelf()) + '/' + name);
        QCOMPARE(FilesStore::displayName(entry), QStringLiteral(u"bad\uFFFD\uFFFDname\n.txt"));
        QCOMPARE(FilesStore::readableName(name), QStringLiteral("bad\\xFF\\xFEname\\n.txt"));
        // Through the text of a URL list, as a drop carries it.
        QCOMPARE(FilesStore::pathBytes(QUrl(QString::fromLatin1(entry.toEncoded()))), FilesStore::pathBytes(entry));

        store.deleteFile(entry);
        QCOMPARE(out.text(), QByteArray());
        QVERIFY(store.files().isEmpty());
        struct stat info
        {
        };
        QCOMPARE(::lstat(source.constData(), &info), 0);
        // QTemporaryDir cannot spell it.
        QCOMPARE(::unlink(source.constData()), 0);
    }

    void deleteNeverFollowsAFolderSwappedForALink()
    {
        for (int i = 0; i < 5; ++i)
            writeBytes(shelf() + QStringLiteral("/Proj/file%1.txt").arg(i), "shelf");
        writeBytes(shelf() + QStringLiteral("/Proj/sub/deep.txt"), "shelf");
        for (int i = 0; i < 5; ++i)
            writeBytes(outside(QStringLiteral("precious/file%1.txt").arg(i)), "precious");
        writeBytes(outside(QStringLiteral("precious/sub/deep.txt")), "precious");
        const auto precious = snapshot(outside(QStringLiteral("precious")));
        FilesStore store(documents());

        // Another program swaps the folder for a link to the user's files
        // after the walk has begun.
        bool swapped = false;
        FileCopy::setRemoveHook([&](const QByteArray&) {
            if (swapped)
                return;
            swapped = true;
            QVERIFY(QFile::rename(shelf() + QStringLiteral("/Proj"), m_dir->filePath(QStringLiteral("moved-away"))));
            QVERIFY(QFile::link(outside(QStringLiteral("precious")), shelf() + QStringLiteral("/Proj")));
        });
        QSignalSpy failed(&store, &FilesStore::deleteFailed);
        StdoutCapture out;
        store.deleteFile(QUrl::fromLocalFile(shelf() + QStringLiteral("/Proj")));
        FileCopy::setRemoveHook({});
        QVERIFY(swapped);
        QCOMPARE(snapshot(outside(QStringLiteral("precious"))), precious);
        QCOMPARE(failed.size(), 1);
        QVERIFY2(out.text().startsWith("⚠️ Could not delete Proj: another program replaced it"),
                 out.text().constData());
        QCOMPARE(names(store), QStringList {u"Proj"_qs});
        QVERIFY(QFileInfo(shelf() + QStringLiteral("/Proj")).isSymLink());
    }

    void deleteOfAnEntryAlreadyGoneIsQuiet()
    {
        writeBytes(shelf() + QStringLiteral("/gone.txt"), "g");
        writeBytes(shelf() + QStringLiteral("/stays.txt"), "s");
        FilesStore store(documents());
        QVERIFY(QFile::remove(shelf() + QStringLiteral("/gone.txt")));
        StdoutCapture out;
        store.deleteFile(QUrl::fromLocalFile(shelf() + QStringLiteral("/gone.txt")));
        QCOMPARE(out.text(), QByteArray());
        QCOMPARE(names(store), QStringList {u"stays.txt"_qs});
    }

    void deleteOutsideTheShelfTouchesNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("beside the shelf") << u"Documents/letter.txt"_qs;
        QTest::newRow("the shelf itself") << u"Documents/QuillnookFiles"_qs;
        QTest::newRow("climbing out") << u"Documents/QuillnookFiles/../letter.txt"_qs;
        QTest::newRow("inside a shelf folder") << u"Documents/QuillnookFiles/Folder/inner.txt"_qs;
        QTest::newRow("dot entry") << u"Documents/QuillnookFiles/."_qs;
        QTest::newRow("elsewhere") << u"outside/other.txt"_qs;
    }
    void deleteOutsideTheShelfTouchesNothing()
    {
        QFETCH(QString, path);
        writeBytes(documents() + QStringLiteral("/letter.txt"), "dear");
        writeBytes(shelf() + QStringLiteral("/Folder/inner.txt"), "inner");
        writeBytes(outside(QStringLiteral("other.txt")), "other");
        FilesStore store(documents());
        const auto before = snapshot(m_dir->path());
        store.deleteFile(QUrl::fromLocalFile(m_dir->filePath(path)));
        store.deleteFile(QUrl(QStringLiteral("https://example.com/QuillnookFiles/Folder")));
        QCOMPARE(snapshot(m_dir->path()), before);
        QCOMPARE(names(store), QStringList {u"Folder"_qs});
    }

    void followsChangesMadeByOtherPrograms()
    {
        FilesStore store(documents());
        writeBytes(shelf() + QStringLiteral("/dropped-in.txt"), "new");
        QTRY_COMPARE(names(store), QStringList {u"dropped-in.txt"_qs});
        QVERIFY(QFile::rename(shelf() + QStringLiteral("/dropped-in.txt"), shelf() + QStringLiteral("/Renamed.txt")));
        QTRY_COMPARE(names(store), QStringList {u"Renamed.txt"_qs});
        // The folder removed and made again is still followed.
        QVERIFY(QDir(shelf()).removeRecursively());
        QTRY_VERIFY(store.files().isEmpty());
        writeBytes(documents() + QStringLiteral("/back.txt"), "b");
        importNow(store, QUrl::fromLocalFile(documents() + QStringLiteral("/back.txt")));
        QCOMPARE(names(store), QStringList {u"back.txt"_qs});
        writeBytes(shelf() + QStringLiteral("/again.txt"), "a");
        QTRY_COMPARE(names(store), (QStringList {u"again.txt"_qs, u"back.txt"_qs}));

        // Moved away (as to the trash) and made again by another program.
        QVERIFY(QFile::rename(shelf(), m_dir->filePath(QStringLiteral("Trash"))));
        QTRY_VERIFY_WITH_TIMEOUT(store.files().isEmpty(), 1000);
        writeBytes(m_dir->filePath(QStringLiteral("Trash/late.txt")), "not on the shelf");
        writeBytes(shelf() + QStringLiteral("/fresh.txt"), "f");
        QTRY_COMPARE_WITH_TIMEOUT(names(store), QStringList {u"fresh.txt"_qs}, 1000);
        writeBytes(shelf() + QStringLiteral("/second.txt"), "s");
        QTRY_COMPARE_WITH_TIMEOUT(names(store), (QStringList {u"fresh.txt"_qs, u"second.txt"_qs}), 1000);
    }
};

QTEST_GUILESS_MAIN(TestFilesStore)
#include "tst_filesstore.moc"
