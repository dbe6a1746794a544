#include <cerrno>
#include <memory>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "notes/NotesFileSystem.h"
#include "notes/NotesStore.h"

#include <sys/mount.h>

namespace {
QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The real file calls, one of which fails as a broken or full disk would.
class FaultyFileSystem : public NotesFileSystem
{
public:
    Step failing = Step::Create;
    int error = 0;
    // Fails only from this call of the step on, so a write can fail half-way.
    int failFromCall = 1;

protected:
    int fault(Step step) override
    {
        if (!error || step != failing)
            return 0;
        return ++m_calls >= failFromCall ? error : 0;
    }

private:
    int m_calls = 0;
};
} // namespace

class TestNotesStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_mounted;

    QString notesPath() const { return m_dir->filePath(QStringLiteral("Quillnook.txt")); }
    QString recoveryFolder() const { return m_dir->filePath(QStringLiteral("state/Quillnook")); }
    QStringList folderEntries() const
    {
        return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    std::unique_ptr<NotesStore> makeStore(FaultyFileSystem** faults = nullptr, const QString& folder = {})
    {
        auto fileSystem = std::make_unique<FaultyFileSystem>();
        if (faults)
            *faults = fileSystem.get();
        return std::make_unique<NotesStore>(folder.isEmpty() ? m_dir->path() : folder, recoveryFolder(),
                                            std::move(fileSystem));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        if (!m_mounted.isEmpty())
            ::umount2(QFile::encodeName(m_mounted).constData(), MNT_DETACH);
        m_mounted.clear();
        m_dir.reset();
    }

    void loadsTheFileAsText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QByteArray("hello\nworld") << QStringLiteral("hello\nworld");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x9c\x93") << QStringLiteral(u"café ✓");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("byte-order mark hidden") << QByteArray("\xef\xbb\xbfmark") << QStringLiteral("mark");
        QTest::newRow("CRLF shown as LF") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\nb\n");
    }
    void loadsTheFileAsText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        writeBytes(notesPath(), bytes);
        auto store = makeStore();
        QCOMPARE(store->text(), text);
        QCOMPARE(store->filePath(), notesPath());
        QCOMPARE(store->notice(), NotesStore::Notice::None);
        // Nothing changed, so nothing is written, whatever asks for a save.
        QSignalSpy saved(store.get(), &NotesStore::saved);
        store->setText(text);
        QVERIFY(!store->isSavePending());
        QVERIFY(store->save());
        QCOMPARE(saved.count(), 0);
        QCOMPARE(readBytes(notesPath()), bytes);
    }

    void lineEndsAndMarkSurviveAnEdit_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("LF") << QByteArray("one\ntwo\n") << QByteArray("one\ntwo\nthree\n");
        QTest::newRow("CRLF") << QByteArray("one\r\ntwo\r\n") << QByteArray("one\r\ntwo\r\nthree\r\n");
        QTest::newRow("mark and LF") << QByteArray("\xef\xbb\xbfone\ntwo\n")
                                     << QByteArray("\xef\xbb\xbfone\ntwo\nthree\n");
        QTest::newRow("mark and CRLF") << QByteArray("\xef\xbb\xbfone\r\ntwo\r\n")
                                       << QByteArray("\xef\xbb\xbfone\r\ntwo\r\nthree\r\n");
        QTest::newRow("mostly CRLF") << QByteArray("one\r\ntwo\nx\r\n") << QByteArray("one\r\ntwo\r\nx\r\nthree\r\n");
    }
    void lineEndsAndMarkSurviveAnEdit()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        writeBytes(notesPath(), before);
        auto store = makeStore();
        QVERIFY(!store->text().contains(QLatin1Char('\r')));
        QVERIFY(!store->text().contains(QChar(0xFEFF)));
        store->replaceText(store->text().size(), 0, QStringLiteral("three\n"));
        QVERIFY(store->save());
        QCOMPARE(readBytes(notesPath()), after);
    }

    void firstEditCreatesTheFileHalfASecondLater()
    {
        auto store = makeStore();
        QVERIFY(store->text().isEmpty());
        QVERIFY(!QFile::exists(store->filePath()));
        QSignalSpy saved(store.get(), &NotesStore::saved);
        QElapsedTimer clock;
        clock.start();
        store->setText(QStringLiteral("first"));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(store->filePath()));
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 3000);
        QVERIFY(clock.elapsed() >= NotesStore::SaveDelayMs);
        QCOMPARE(readBytes(store->filePath()), QByteArray("first"));
    }

    void aBurstOfEditsWritesOnceWithTheLastText()
    {
        auto store = makeStore();
        QSignalSpy saved(store.get(), &NotesStore::saved);
        QElapsedTimer sinceLastEdit;
        QString text;
        for (int i = 0; i < 10; ++i) {
            text += QChar(u'a' + i);
            store->setText(text);
            sinceLastEdit.start();
            QTest::qWait(100);
        }
        QCOMPARE(saved.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 3000);
        QVERIFY(sinceLastEdit.elapsed() >= NotesStore::SaveDelayMs);
        QCOMPARE(readBytes(store->filePath()), QByteArray("abcdefghij"));
        QTest::qWait(700);
        QCOMPARE(saved.count(), 1);
    }

    void steadyTypingIsOnDiskWithinTwoSeconds()
    {
        auto store = makeStore();
        QElapsedTimer clock;
        qint64 savedAfter = -1;
        connect(store.get(), &NotesStore::saved, this, [&] {
            if (savedAfter < 0)
                savedAfter = clock.elapsed();
        });
        clock.start();
        for (qsizetype typed = 0; savedAfter < 0 && clock.elapsed() < 4000; ++typed) {
            store->replaceText(typed, 0, QStringLiteral("k"));
            QTest::qWait(100);
        }
        QVERIFY2(savedAfter >= 0 && savedAfter <= NotesStore::MaxSaveDelayMs + 100,
                 qPrintable(QString::number(savedAfter)));
        QVERIFY(readBytes(notesPath()).startsWith("kkkkkkkkkkkkkkk"));
    }

    void saveWritesAtOnceAndOnlyOnce()
    {
        auto store = makeStore();
        QSignalSpy saved(store.get(), &NotesStore::saved);
        store->setText(QStringLiteral("quick"));
        QVERIFY(store->save());
        QCOMPARE(readBytes(store->filePath()), QByteArray("quick"));
        QVERIFY(!store->hasUnsavedChanges());
        QTest::qWait(700);
        QCOMPARE(saved.count(), 1);
    }

    void aMissingFolderIsCreated()
    {
        const QString folder = m_dir->filePath(QStringLiteral("not/yet/there"));
        auto store = makeStore(nullptr, folder);
        store->setText(QStringLiteral("kept"));
        QVERIFY(store->save());
        QCOMPARE(readBytes(folder + QStringLiteral("/Quillnook.txt")), QByteArray("kept"));
    }

    void anEmptyFolderMeansTheTemporaryFolder()
    {
        NotesStore store {QString()};
        QCOMPARE(store.filePath(), QDir(QDir::tempPath()).filePath(QStringLiteral("Quillnook.txt")));
    }

    void aFailureAtAnyStepLeavesTheOldFile_data()
    {
        QTest::addColumn<NotesFileSystem::Step>("step");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("fromCall");
        QTest::addColumn<QString>("reason");
        QTest::newRow("create") << NotesFileSystem::Step::Create << EACCES << 1 << QStringLiteral("Permission denied");
        QTest::newRow("first write") << NotesFileSystem::Step::Write << ENOSPC << 1
                                     << QStringLiteral("No space left on device");
        QTest::newRow("write half-way") << NotesFileSystem::Step::Write << ENOSPC << 2
                                        << QStringLiteral("No space left on device");
        QTest::newRow("sync") << NotesFileSystem::Step::SyncFile << EIO << 1 << QStringLiteral("Input/output error");
        QTest::newRow("close") << NotesFileSystem::Step::Close << EDQUOT << 1 << QStringLiteral("Disk quota exceeded");
        QTest::newRow("rename") << NotesFileSystem::Step::Rename << EROFS << 1
                                << QStringLiteral("Read-only file system");
    }
    void aFailureAtAnyStepLeavesTheOldFile()
    {
        QFETCH(NotesFileSystem::Step, step);
        QFETCH(int, error);
        QFETCH(int, fromCall);
        QFETCH(QString, reason);
        writeBytes(notesPath(), "old notes");
        FaultyFileSystem* faults = nullptr;
        auto store = makeStore(&faults);
        QSignalSpy noticed(store.get(), &NotesStore::noticeChanged);
        faults->failing = step;
        faults->error = error;
        faults->failFromCall = fromCall;
        // Over a megabyte, so a write fails after a first part went out.
        const QString text = QString(99, QLatin1Char('n')).append(QLatin1Char('\n')).repeated(15'000);
        store->setText(text);
        QVERIFY(!store->save());

        QCOMPARE(readBytes(notesPath()), QByteArray("old notes"));
        QCOMPARE(folderEntries(), QStringList {QStringLiteral("Quillnook.txt")});
        QCOMPARE(store->notice(), NotesStore::Notice::SaveFailed);
        QCOMPARE(store->noticeText(), QStringLiteral("Could not save notes: ") + reason);
        QCOMPARE(noticed.count(), 1);
        QCOMPARE(store->text(), text);
        QVERIFY(store->hasUnsavedChanges());

        // The next change tries again; success clears the banner.
        faults->error = 0;
        store->replaceText(0, 0, QStringLiteral("+"));
        QTRY_COMPARE_WITH_TIMEOUT(store->notice(), NotesStore::Notice::None, 3000);
        QCOMPARE(readBytes(notesPath()), (QStringLiteral("+") + text).toUtf8());
    }

    void aFailedFolderSyncIsShownButNotTakenForAnOutsideChange()
    {
        writeBytes(notesPath(), "old notes");
        FaultyFileSystem* faults = nullptr;
        auto store = makeStore(&faults);
        faults->failing = NotesFileSystem::Step::SyncFolder;
        faults->error = EIO;
        store->setText(QStringLiteral("new notes"));
        QVERIFY(!store->save());
        // The rename went through; only its safety on disk is in doubt.
        QCOMPARE(readBytes(notesPath()), QByteArray("new notes"));
        QCOMPARE(store->notice(), NotesStore::Notice::SaveFailed);
        faults->error = 0;
        QVERIFY(store->save());
        QCOMPARE(store->notice(), NotesStore::Notice::None);
        QVERIFY(!QFile::exists(notesPath() + QStringLiteral(".conflict")));
    }

    void aFullDiskLeavesTheOldFileAndIsRetried()
    {
        // A real full filesystem where this test may mount one (as root in
        // CI), else a write that fails as one would.
        const QString folder = m_dir->filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(folder));
        const bool mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") == 0;
        if (mounted)
            m_mounted = folder;
        else
            qInfo("no tmpfs (%s): the fault hook stands in for the full disk", std::strerror(errno));
        const QString path = folder + QStringLiteral("/Quillnook.txt");
        writeBytes(path, "old notes");
        FaultyFileSystem* faults = nullptr;
        auto store = makeStore(&faults, folder);
        const QString filler = folder + QStringLiteral("/filler");
        if (mounted) {
            QFile fill(filler);
            QVERIFY(fill.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'f');
            while (fill.write(block) == block.size() && fill.flush()) { }
        } else {
            faults->failing = NotesFileSystem::Step::Write;
            faults->error = ENOSPC;
        }
        store->setText(QString(100'000, QLatin1Char('w')));
        QVERIFY(!store->save());
        QCOMPARE(readBytes(path), QByteArray("old notes"));
        QCOMPARE(store->noticeText(), QStringLiteral("Could not save notes: No space left on device"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), mounted ? 2 : 1);

        // Once there is room again, the retry succeeds without another edit.
        if (mounted)
            QVERIFY(QFile::remove(filler));
        faults->error = 0;
        QTRY_COMPARE_WITH_TIMEOUT(store->notice(), NotesStore::Notice::None, NotesStore::RetryDelayMs + 2000);
        QCOMPARE(readBytes(path), QByteArray(100'000, 'w'));
    }

    void quittingWithAFailingSaveKeepsARecoveryFile()
    {
        writeBytes(notesPath(), "old");
        FaultyFileSystem* faults = nullptr;
        auto store = makeStore(&faults);
        faults->failing = NotesFileSystem::Step::Rename;
        faults->error = EROFS;
        store->setText(QStringLiteral("words to keep"));
        QVERIFY(!store->saveBeforeExit());
        store.reset();
        QCOMPARE(readBytes(notesPath()), QByteArray("old"));
        const QFileInfoList kept
            = QDir(recoveryFolder()).entryInfoList({QStringLiteral("Quillnook-*.txt")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(
            kept.constFirst().fileName().contains(QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d-\\d{6}"))));
        QCOMPARE(readBytes(kept.constFirst().filePath()), QByteArray("words to keep"));

        // The next start names it, once.
        auto next = makeStore();
        QCOMPARE(next->notice(), NotesStore::Notice::Recovered);
        QVERIFY(next->noticeText().contains(kept.constFirst().absoluteFilePath()));
        next->dismissNotice();
        QCOMPARE(next->notice(), NotesStore::Notice::None);
        next.reset();
        QCOMPARE(makeStore()->notice(), NotesStore::Notice::None);
    }

    void anOutsideChangeIsLoadedWhileNothingIsUnsaved_data()
    {
        QTest::addColumn<bool>("byRename");
        QTest::newRow("appended") << false;
        QTest::newRow("replaced by rename") << true;
    }
    void anOutsideChangeIsLoadedWhileNothingIsUnsaved()
    {
        QFETCH(bool, byRename);
        writeBytes(notesPath(), "mine\n");
        auto store = makeStore();
        QSignalSpy saved(store.get(), &NotesStore::saved);
        for (const QByteArray& next : {QByteArray("mine\ntheirs\n"), QByteArray("mine\ntheirs\nagain\n")}) {
            if (byRename) {
                writeBytes(notesPath() + QStringLiteral(".new"), next);
                QVERIFY(QFile::remove(notesPath()));
                QVERIFY(QFile::rename(notesPath() + QStringLiteral(".new"), notesPath()));
            } else {
                QFile file(notesPath());
                QVERIFY(file.open(QIODevice::Append));
                file.write(next.mid(file.size()));
            }
            QTRY_COMPARE(store->text(), QString::fromUtf8(next));
        }
        QVERIFY(!store->hasUnsavedChanges());
        QVERIFY(store->save());
        QCOMPARE(saved.count(), 0);
        QCOMPARE(store->notice(), NotesStore::Notice::None);
    }

    void anOutsideDeletionStaysUntilTheUserTypes()
    {
        writeBytes(notesPath(), "gone soon");
        auto store = makeStore();
        QVERIFY(QFile::remove(notesPath()));
        QTest::qWait(400);
        QCOMPARE(store->text(), QStringLiteral("gone soon"));
        QVERIFY(store->save());
        QVERIFY(!QFile::exists(notesPath()));
        store->replaceText(0, 0, QStringLiteral("back: "));
        QVERIFY(store->save());
        QCOMPARE(readBytes(notesPath()), QByteArray("back: gone soon"));
    }

    void bothSidesChangedKeepsBothVersions()
    {
        writeBytes(notesPath(), "base");
        writeBytes(notesPath() + QStringLiteral(".conflict"), "an older conflict");
        auto store = makeStore();
        for (const int round : {2, 3}) {
            store->setText(QStringLiteral("ours %1").arg(round));
            writeBytes(notesPath(), "theirs " + QByteArray::number(round));
            const QString copy = notesPath() + QStringLiteral(".conflict-") + QString::number(round);
            QTRY_COMPARE(readBytes(copy), "theirs " + QByteArray::number(round));
            QTRY_COMPARE(readBytes(notesPath()), QStringLiteral("ours %1").arg(round).toUtf8());
            QCOMPARE(store->notice(), NotesStore::Notice::Conflict);
            QVERIFY(store->noticeText().contains(copy));
        }
        QCOMPARE(readBytes(notesPath() + QStringLiteral(".conflict")), QByteArray("an older conflict"));
        store->dismissNotice();
        QCOMPARE(store->notice(), NotesStore::Notice::None);
    }

    void anOutsideVersionIsKeptOnceThoughTheSaveKeepsFailing()
    {
        writeBytes(notesPath(), "base");
        FaultyFileSystem* faults = nullptr;
        auto store = makeStore(&faults);
        faults->failing = NotesFileSystem::Step::Write;
        faults->error = ENOSPC;
        store->setText(QStringLiteral("ours"));
        writeBytes(notesPath(), "theirs");
        QTRY_COMPARE(readBytes(notesPath() + QStringLiteral(".conflict")), QByteArray("theirs"));
        QVERIFY(!store->save());
        QVERIFY(!store->save());
        faults->error = 0;
        QVERIFY(store->save());
        QCOMPARE(readBytes(notesPath()), QByteArray("ours"));
        QCOMPARE(folderEntries(),
                 (QStringList {QStringLiteral("Quillnook.txt"), QStringLiteral("Quillnook.txt.conflict")}));
    }

    void unreadableBytesAreKeptOnlyOnceTheUserTypes()
    {
        // Ends in a lone lead byte, which a decoder could take for a sequence still to come.
        const QByteArray latin1("Gr\xfc\xdf"
                                "e aus K\xf6ln\xe9");
        writeBytes(notesPath(), latin1);
        // An earlier kept copy is never overwritten.
        writeBytes(notesPath() + QStringLiteral(".unreadable"), "older copy");

        auto store = makeStore();
        QVERIFY(store->text().isEmpty());
        QCOMPARE(store->notice(), NotesStore::Notice::Unreadable);
        const QString copy = notesPath() + QStringLiteral(".unreadable-2");
        QCOMPARE(store->noticeText(),
                 QStringLiteral("Quillnook.txt could not be read as UTF-8 text. Its bytes will "
                                "be kept in %1 when you start typing.")
                     .arg(copy));
        // A focus change alone moves nothing.
        QVERIFY(store->save());
        QCOMPARE(readBytes(notesPath()), latin1);

        store->setText(QStringLiteral("new"));
        QVERIFY(store->save());
        QCOMPARE(store->keptUnreadableCopy(), copy);
        QCOMPARE(readBytes(copy), latin1);
        QCOMPARE(readBytes(notesPath() + QStringLiteral(".unreadable")), QByteArray("older copy"));
        QCOMPARE(readBytes(notesPath()), QByteArray("new"));
        QCOMPARE(store->noticeText(),
                 QStringLiteral("Quillnook.txt could not be read as UTF-8 text. Its bytes are kept in %1.").arg(copy));
        QCOMPARE(folderEntries().size(), 3);
    }

    void aNoteTooBigToEditIsNeverChanged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("says");
        QTest::newRow("an overlong line") << "short\n" + QByteArray(NotesStore::LongestEditableLine + 1, 'x') + "\nend"
                                          << QStringLiteral("a line of over 100,000 characters");
        QTest::newRow("a huge note") << QByteArray(99, 'h').append('\n').repeated(210'000)
                                     << QStringLiteral("This note is 21 MB, too large to edit here");
    }
    void aNoteTooBigToEditIsNeverChanged()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, says);
        writeBytes(notesPath(), bytes);
        auto store = makeStore();
        QVERIFY(!store->isEditable());
        QCOMPARE(store->notice(), NotesStore::Notice::TooBigToEdit);
        QVERIFY2(store->noticeText().contains(says), qPrintable(store->noticeText()));
        QVERIFY(store->save());
        QCOMPARE(readBytes(notesPath()), bytes);
        // Replaced from outside by a note of ordinary size, it can be edited again.
        writeBytes(notesPath(), "small again");
        QTRY_VERIFY(store->isEditable());
        QCOMPARE(store->notice(), NotesStore::Notice::None);
    }
};

QTEST_GUILESS_MAIN(TestNotesStore)
#include "tst_notesstore.moc"
