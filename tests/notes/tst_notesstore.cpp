#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "notes/NotesStore.h"

namespace {
QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

class TestNotesStore : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void loadsTheFileAsText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QByteArray("hello\nworld") << QStringLiteral("hello\nworld");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x9c\x93") << QStringLiteral(u"café ✓");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("byte-order mark kept") << QByteArray("\xef\xbb\xbfmark") << QStringLiteral(u"\uFEFFmark");
    }
    void loadsTheFileAsText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = m_dir.filePath(QStringLiteral("Quillnook.txt"));
        writeBytes(path, bytes);
        NotesStore store(m_dir.path());
        QCOMPARE(store.text(), text);
        QCOMPARE(store.filePath(), path);
        // Written back unchanged, byte for byte.
        QVERIFY(store.save());
        QCOMPARE(readBytes(path), bytes);
    }

    void firstEditCreatesTheFileHalfASecondLater()
    {
        NotesStore store(m_dir.path());
        QVERIFY(store.text().isEmpty());
        QVERIFY(!QFile::exists(store.filePath()));
        QSignalSpy saved(&store, &NotesStore::saved);
        QElapsedTimer clock;
        clock.start();
        store.setText(QStringLiteral("first"));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(store.filePath()));
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 3000);
        QVERIFY(clock.elapsed() >= NotesStore::SaveDelayMs);
        QCOMPARE(readBytes(store.filePath()), QByteArray("first"));
    }

    void aBurstOfEditsWritesOnceWithTheLastText()
    {
        NotesStore store(m_dir.path());
        QSignalSpy saved(&store, &NotesStore::saved);
        QElapsedTimer sinceLastEdit;
        QString text;
        for (int i = 0; i < 10; ++i) {
            text += QChar(u'a' + i);
            store.setText(text);
            sinceLastEdit.start();
            QTest::qWait(100);
        }
        QCOMPARE(saved.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 3000);
        QVERIFY(sinceLastEdit.elapsed() >= NotesStore::SaveDelayMs);
        QCOMPARE(readBytes(store.filePath()), QByteArray("abcdefghij"));
        QTest::qWait(700);
        QCOMPARE(saved.count(), 1);
    }

    void settingTheSameTextStillSchedulesAWrite()
    {
        writeBytes(m_dir.filePath(QStringLiteral("Quillnook.txt")), "same");
        NotesStore store(m_dir.path());
        QSignalSpy changed(&store, &NotesStore::textChanged);
        QSignalSpy saved(&store, &NotesStore::saved);
        store.setText(QStringLiteral("same"));
        QVERIFY(store.isSavePending());
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 3000);
        QCOMPARE(changed.count(), 0);
    }

    void saveWritesAtOnceAndLeavesThePendingSave()
    {
        NotesStore store(m_dir.path());
        QSignalSpy saved(&store, &NotesStore::saved);
        store.setText(QStringLiteral("quick"));
        QVERIFY(store.save());
        QCOMPARE(readBytes(store.filePath()), QByteArray("quick"));
        // The scheduled save still runs and writes the same text again.
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 2, 3000);
        QCOMPARE(readBytes(store.filePath()), QByteArray("quick"));
    }

    void aMissingFolderIsCreated()
    {
        const QString folder = m_dir.filePath(QStringLiteral("not/yet/there"));
        NotesStore store(folder);
        store.setText(QStringLiteral("kept"));
        QVERIFY(store.save());
        QCOMPARE(readBytes(folder + QStringLiteral("/Quillnook.txt")), QByteArray("kept"));
    }

    void aFailedWriteKeepsTheTextForTheNextTry()
    {
        // A file where the folder should be: no folder can be made, even as root.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        writeBytes(blocker, "x");
        NotesStore store(blocker + QStringLiteral("/docs"));
        store.setText(QStringLiteral("unsaved"));
        QVERIFY(!store.save());
        QCOMPARE(store.text(), QStringLiteral("unsaved"));
        QVERIFY(QFile::remove(blocker));
        QVERIFY(store.save());
        QCOMPARE(readBytes(blocker + QStringLiteral("/docs/Quillnook.txt")), QByteArray("unsaved"));
    }

    void anEmptyFolderMeansTheTemporaryFolder()
    {
        NotesStore store {QString()};
        QCOMPARE(store.filePath(), QDir(QDir::tempPath()).filePath(QStringLiteral("Quillnook.txt")));
    }

    void unreadableBytesAreKeptBeforeTheFirstWrite()
    {
        const QString path = m_dir.filePath(QStringLiteral("Quillnook.txt"));
        const QByteArray latin1("Gr\xfc\xdf"
                                "e aus K\xf6ln");
        writeBytes(path, latin1);
        // An earlier kept copy is never overwritten.
        writeBytes(path + QStringLiteral(".unreadable"), "older copy");

        NotesStore store(m_dir.path());
        QVERIFY(store.text().isEmpty());
        // Losing focus is enough to trigger the first write.
        QVERIFY(store.save());
        QCOMPARE(store.keptUnreadableCopy(), path + QStringLiteral(".unreadable-2"));
        QCOMPARE(readBytes(path + QStringLiteral(".unreadable-2")), latin1);
        QCOMPARE(readBytes(path + QStringLiteral(".unreadable")), QByteArray("older copy"));
        QCOMPARE(readBytes(path), QByteArray());

        // Later writes go to the notes file only.
        store.setText(QStringLiteral("new"));
        QVERIFY(store.save());
        QCOMPARE(readBytes(path), QByteArray("new"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).size(), 3);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestNotesStore)
#include "tst_notesstore.moc"
