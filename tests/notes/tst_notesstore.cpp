#include <cerrno>
#include <memory>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "notes/NotesFileSystem.h"
#include "notes/NotesStore.h"
#include "support/FileBytes.h"
#include "support/ManualClock.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// What sync tools do: their own copy, renamed over the file.
void replaceByRename(const QString& path, const QByteArray& bytes)
{
    writeBytes(path + QStringLiteral(".sync"), bytes);
    QVERIFY(QFile::rename(path + QStringLiteral(".sync"), path)
            || (QFile::remove(path) && QFile::rename(path + QStringLiteral(".sync"), path)));
}

struct stat statOf(const QString& path, bool follow = true)
{
    struct stat st
    {
    };
    const QByteArray local = QFile::encodeName(path);
    if ((follow ? ::stat(local.constData(), &st) : ::lstat(local.constData(), &st)) != 0)
        st.st_ino = 0;
    return st;
}

int umaskMode()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return int(0666 & ~mask);
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

    std::unique_ptr<NotesStore> makeStore(FaultyFileSystem** faults = nullptr, const QString& folder = {},
                                          Clock* clock = nullptr)
    {
        auto fileSystem = std::make_unique<FaultyFileSystem>();
        if (faults)
            *faults = fileSystem.get();
        return std::make_unique<NotesStore>(folder.isEmpty() ? m_dir->path() : folder, recoveryFolder(),
                                            std::move(fileSystem), nullptr, clock);
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
        // Each line keeps its own end; new lines get the most common one.
        QTest::newRow("mixed, mostly CRLF")
            << QByteArray("one\r\ntwo\nx\r\n") << QByteArray("one\r\ntwo\nx\r\nthree\r\n");
        QTest::newRow("mixed, mostly lone CR") << QByteArray("one\rtwo\rx\n") << QByteArray("one\rtwo\rx\nthree\r");
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
        ManualClock clock;
        auto store = makeStore(nullptr, {}, &clock);
        QVERIFY(store->text().isEmpty());
        QVERIFY(!QFile::exists(store->filePath()));
        QSignalSpy saved(store.get(), &NotesStore::saved);
        store->setText(QStringLiteral("first"));
        QVERIFY(store->isSavePending());
        clock.advance(NotesStore::SaveDelayMs - 1);
        QCOMPARE(saved.count(), 0);
        QVERIFY(!QFile::exists(store->filePath()));
        clock.advance(1);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(readBytes(store->filePath()), QByteArray("first"));
    }

    void aBurstOfEditsWritesOnceWithTheLastText()
    {
        ManualClock clock;
        auto store = makeStore(nullptr, {}, &clock);
        QSignalSpy saved(store.get(), &NotesStore::saved);
        QString text;
        for (int i = 0; i < 10; ++i) {
            text += QChar(u'a' + i);
            store->setText(text);
            clock.advance(100);
        }
        QCOMPARE(saved.count(), 0);
        // Half a second after the last edit, not after the first.
        clock.advance(NotesStore::SaveDelayMs - 100 - 1);
        QCOMPARE(saved.count(), 0);
        clock.advance(1);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(readBytes(store->filePath()), QByteArray("abcdefghij"));
        clock.advance(NotesStore::RetryDelayMs * 2);
        QCOMPARE(saved.count(), 1);
    }

    void steadyTypingIsOnDiskWithinTwoSeconds()
    {
        ManualClock clock;
        auto store = makeStore(nullptr, {}, &clock);
        qint64 savedAt = -1;
        connect(store.get(), &NotesStore::saved, this, [&] {
            if (savedAt < 0)
                savedAt = clock.nowMs();
        });
        const qint64 firstKey = clock.nowMs();
        qsizetype typed = 0;
        for (; savedAt < 0 && typed < 100; ++typed) {
            store->replaceText(typed, 0, QStringLiteral("k"));
            clock.advance(100);
        }
        QCOMPARE(savedAt - firstKey, qint64(NotesStore::MaxSaveDelayMs));
        QCOMPARE(readBytes(notesPath()), QByteArray(NotesStore::MaxSaveDelayMs / 100, 'k'));
        // The next bound counts from the next unsaved key.
        QSignalSpy saved(store.get(), &NotesStore::saved);
        store->replaceText(typed, 0, QStringLiteral("k"));
        clock.advance(NotesStore::SaveDelayMs);
        QCOMPARE(saved.count(), 1);
    }

    void saveWritesAtOnceAndOnlyOnce()
    {
        ManualClock clock;
        auto store = makeStore(nullptr, {}, &clock);
        QSignalSpy saved(store.get(), &NotesStore::saved);
        store->setText(QStringLiteral("quick"));
        QVERIFY(store->save());
        QCOMPARE(readBytes(store->filePath()), QByteArray("quick"));
        QVERIFY(!store->hasUnsavedChanges());
        QVERIFY(!store->isSavePending());
        clock.advance(NotesStore::RetryDelayMs * 2);
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
        ManualClock clock;
        auto store = makeStore(&faults, folder, &clock);
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

        // Retried while the disk stays full, and the failure stays shown.
        QSignalSpy saved(store.get(), &NotesStore::saved);
        clock.advance(NotesStore::RetryDelayMs);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(saved.first().first().toBool(), false);
        QCOMPARE(store->notice(), NotesStore::Notice::SaveFailed);
        QCOMPARE(readBytes(path), QByteArray("old notes"));

        // Once there is room again, the next retry succeeds without another edit.
        if (mounted)
            QVERIFY(QFile::remove(filler));
        faults->error = 0;
        clock.advance(NotesStore::RetryDelayMs);
        QCOMPARE(store->notice(), NotesStore::Notice::None);
        QCOMPARE(readBytes(path), QByteArray(100'000, 'w'));
        clock.advance(NotesStore::RetryDelayMs);
        QCOMPARE(saved.count(), 2);
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
        QCOMPARE(store->notice(), NotesStore::Notice::ChangedOutside);
        QCOMPARE(store->noticeText(), QStringLiteral("Quillnook.txt was changed by another program"));
    }

    void anOutsideDeletionStaysUntilTheUserTypes()
    {
        writeBytes(notesPath(), "gone soon");
        auto store = makeStore();
        QVERIFY(QFile::remove(notesPath()));
        // A deletion changes nothing the store shows, so there is no moment
        // to wait for: give the watcher and the disk check their time.
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

    void aSyncToolsOlderCopyLeavesTheTypedTextReachable()
    {
        writeBytes(notesPath(), "base");
        auto store = makeStore();
        store->replaceText(4, 0, QStringLiteral(" and typed"));
        QVERIFY(store->save());
        // Its older copy put back after our save: loaded, since nothing is unsaved.
        replaceByRename(notesPath(), "base");
        QTRY_COMPARE(store->text(), QStringLiteral("base"));
        QCOMPARE(store->notice(), NotesStore::Notice::ChangedOutside);
        QVERIFY(store->canUndoOutsideChange());

        // The history holds what was typed, whatever happens next.
        const QFileInfoList history
            = QDir(store->historyFolder()).entryInfoList({QStringLiteral("Quillnook-*.txt")}, QDir::Files, QDir::Name);
        QCOMPARE(history.size(), 1);
        QCOMPARE(readBytes(history.constLast().filePath()), QByteArray("base and typed"));
        QCOMPARE(int(statOf(history.constLast().filePath()).st_mode & 0777), 0600);

        store->undoOutsideChange();
        QCOMPARE(store->text(), QStringLiteral("base and typed"));
        QCOMPARE(store->notice(), NotesStore::Notice::None);
        QVERIFY(store->save());
        QCOMPARE(readBytes(notesPath()), QByteArray("base and typed"));
    }

    void theHistoryKeepsTheNewestSavesWithinItsLimits()
    {
        auto store = makeStore();
        for (int i = 1; i <= NotesStore::HistoryVersions + 5; ++i) {
            store->setText(QStringLiteral("save %1").arg(i));
            QVERIFY(store->save());
        }
        QDir history(store->historyFolder());
        QStringList kept = history.entryList({QStringLiteral("Quillnook-*.txt")}, QDir::Files, QDir::Name);
        QCOMPARE(kept.size(), NotesStore::HistoryVersions);
        QCOMPARE(readBytes(history.filePath(kept.constFirst())), QByteArray("save 6"));
        QCOMPARE(readBytes(history.filePath(kept.constLast())), QByteArray("save 55"));

        // Large saves: the bytes limit comes first.
        const qsizetype large = 6'000'000;
        for (char c : {'a', 'b', 'c', 'd', 'e'}) {
            store->setText(QString(large, QLatin1Char(c)));
            QVERIFY(store->save());
        }
        kept = history.entryList({QStringLiteral("Quillnook-*.txt")}, QDir::Files, QDir::Name);
        QCOMPARE(kept.size(), int(NotesStore::HistoryBytes / large));
        QCOMPARE(readBytes(history.filePath(kept.constLast())), QByteArray(large, 'e'));
    }

    void aFileItsOwnerCannotReadAndWriteIsReplacedWithTheUsualMode()
    {
        writeBytes(notesPath(), "locked");
        QVERIFY(QFile::setPermissions(notesPath(), {}));
        auto store = makeStore();
        store->setText(QStringLiteral("typed after"));
        QVERIFY(store->save());
        QCOMPARE(int(statOf(notesPath()).st_mode & 0777), umaskMode());
        QCOMPARE(readBytes(notesPath()), QByteArray("typed after"));
        store.reset();
        QCOMPARE(makeStore()->notice(), NotesStore::Notice::None);

        // A mode that lets its owner read and write is kept, also past the umask.
        QCOMPARE(::chmod(QFile::encodeName(notesPath()).constData(), 0660), 0);
        store = makeStore();
        store->setText(QStringLiteral("private"));
        QVERIFY(store->save());
        QCOMPARE(int(statOf(notesPath()).st_mode & 0777), 0660);

        // Another owner stays where this process may keep it (root may).
        if (::geteuid() == 0) {
            QCOMPARE(::chown(QFile::encodeName(notesPath()).constData(), 65534, 65534), 0);
            store->setText(QStringLiteral("theirs to keep"));
            QVERIFY(store->save());
            QCOMPARE(int(statOf(notesPath()).st_uid), 65534);
            QCOMPARE(int(statOf(notesPath()).st_gid), 65534);
            QCOMPARE(int(statOf(notesPath()).st_mode & 0777), 0660);
        }
    }

    void linksKeepTheirShape()
    {
        // Quillnook.txt -> link2 -> real/real.txt
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("real")));
        const QString real = m_dir->filePath(QStringLiteral("real/real.txt"));
        const QString link2 = m_dir->filePath(QStringLiteral("link2"));
        writeBytes(real, "chained");
        QCOMPARE(::symlink("real/real.txt", QFile::encodeName(link2).constData()), 0);
        QCOMPARE(::symlink("link2", QFile::encodeName(notesPath()).constData()), 0);
        auto store = makeStore();
        QCOMPARE(store->text(), QStringLiteral("chained"));
        store->setText(QStringLiteral("chained, edited"));
        QVERIFY(store->save());
        QVERIFY(S_ISLNK(statOf(notesPath(), false).st_mode));
        QVERIFY(S_ISLNK(statOf(link2, false).st_mode));
        QCOMPARE(readBytes(real), QByteArray("chained, edited"));
        store.reset();

        // A hard link: every name shows the new text, in one file.
        QVERIFY(QFile::remove(notesPath()));
        writeBytes(notesPath(), "shared");
        const QString other = m_dir->filePath(QStringLiteral("other name.txt"));
        QCOMPARE(::link(QFile::encodeName(notesPath()).constData(), QFile::encodeName(other).constData()), 0);
        const ino_t inode = statOf(notesPath()).st_ino;
        store = makeStore();
        store->setText(QStringLiteral("shared, edited"));
        QVERIFY(store->save());
        QCOMPARE(statOf(notesPath()).st_ino, inode);
        QCOMPARE(readBytes(other), QByteArray("shared, edited"));

        // Both sides changed: their version is kept as a copy of its own,
        // which the write in place leaves alone.
        store->setText(QStringLiteral("ours"));
        writeBytes(other, "theirs");
        QTRY_COMPARE(readBytes(notesPath()), QByteArray("ours"));
        QCOMPARE(readBytes(notesPath() + QStringLiteral(".conflict")), QByteArray("theirs"));
        QCOMPARE(readBytes(other), QByteArray("ours"));
        QCOMPARE(statOf(notesPath()).st_ino, inode);
    }

    void aWriteInPlaceCutShortIsFinishedAtTheNextStart()
    {
        writeBytes(notesPath(), "old");
        const QString other = m_dir->filePath(QStringLiteral("other"));
        QCOMPARE(::link(QFile::encodeName(notesPath()).constData(), QFile::encodeName(other).constData()), 0);
        FaultyFileSystem* faults = nullptr;
        auto store = makeStore(&faults);
        // The disk breaks after the first megabyte went into the file.
        faults->failing = NotesFileSystem::Step::WriteInPlace;
        faults->error = EIO;
        faults->failFromCall = 2;
        const QByteArray text = QByteArray(99, 'n').append('\n').repeated(15'000);
        store->setText(QString::fromLatin1(text));
        QVERIFY(!store->save());
        QCOMPARE(store->notice(), NotesStore::Notice::SaveFailed);
        QVERIFY(readBytes(notesPath()).startsWith(text.left(1 << 20)));
        QVERIFY(readBytes(notesPath()) != text);
        store.reset();

        // A new start, as after a crash: whole, with every name, nothing left over.
        store = makeStore();
        QCOMPARE(readBytes(notesPath()), text);
        QCOMPARE(readBytes(other), text);
        QCOMPARE(store->text(), QString::fromLatin1(text));
        QCOMPARE(folderEntries(), (QStringList {QStringLiteral("Quillnook.txt"), QStringLiteral("other")}));
    }

    void leftoversOfOurOwnAreRemovedAtStart()
    {
        writeBytes(notesPath(), "notes");
        const QStringList ours {QStringLiteral(".Quillnook.txt.1x9kq2.tmp"), QStringLiteral(".Quillnook.txt.z.tmp")};
        const QStringList others {QStringLiteral(".Quillnook.txt.swp"), QStringLiteral(".Quillnook.txt.AB.tmp"),
                                  QStringLiteral("Quillnook.txt.1x9kq2.tmp"), QStringLiteral(".Other.txt.1x9kq2.tmp")};
        for (const QString& name : ours + others)
            writeBytes(m_dir->filePath(name), QByteArray(4096, 'x'));
        auto store = makeStore();
        QStringList expected = others;
        expected << QStringLiteral("Quillnook.txt");
        expected.sort();
        QCOMPARE(folderEntries(), expected);
        QCOMPARE(store->text(), QStringLiteral("notes"));
    }
};

QTEST_GUILESS_MAIN(TestNotesStore)
#include "tst_notesstore.moc"
