#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "app/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_tmp;
    QByteArray m_oldTmp;
    QByteArray m_oldRuntime;

    QString privateFolder() const { return m_tmp->filePath(QStringLiteral("quillnook-%1").arg(::geteuid())); }

private slots:
    void init()
    {
        // The system's temporary folder, as the lock sees it, is one of this test's own.
        m_tmp.emplace();
        m_oldTmp = qgetenv("TMPDIR");
        m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
    }
    void cleanup()
    {
        qputenv("TMPDIR", m_oldTmp);
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
        m_tmp.reset();
    }

    void theLockLivesInTheRuntimeFolderElseInAPrivateOne_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<bool>("inRuntime");
        QTest::newRow("runtime folder") << QStringLiteral("runtime") << true;
        QTest::newRow("no runtime folder set") << QString() << false;
        QTest::newRow("runtime folder missing") << QStringLiteral("gone") << false;
    }
    void theLockLivesInTheRuntimeFolderElseInAPrivateOne()
    {
        QFETCH(QString, runtime);
        QFETCH(bool, inRuntime);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("runtime")));
        if (runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath(runtime)));
        const QString path = SingleInstance::lockFilePath(dir.filePath(QStringLiteral("config")));
        QCOMPARE(path, (inRuntime ? dir.filePath(runtime) : privateFolder()) + QStringLiteral("/quillnook.lock"));
        if (!inRuntime) {
            struct stat st
            {
            };
            QCOMPARE(::lstat(QFile::encodeName(privateFolder()).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0700);
        }
    }

    void aTemporaryFolderOthersMayUseIsPassedOver()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("config"));
        // A link planted where the private folder would be.
        QVERIFY(QFile::link(dir.path(), privateFolder()));
        QCOMPARE(SingleInstance::lockFilePaths(config), QStringList {config + QStringLiteral("/quillnook.lock")});
        if (::geteuid() == 0) {
            // A real folder of another user's.
            QVERIFY(QFile::remove(privateFolder()));
            QVERIFY(QDir().mkdir(privateFolder()));
            QCOMPARE(::chown(QFile::encodeName(privateFolder()).constData(), 65534, 65534), 0);
            QCOMPARE(SingleInstance::lockFilePaths(config), QStringList {config + QStringLiteral("/quillnook.lock")});
        }
    }

    void aSecondInstanceDoesNotGetTheLock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quillnook.lock"));
        SingleInstance first(path);
        QVERIFY(first.acquire());
        SingleInstance second(path);
        QVERIFY(!second.acquire());
    }

    void withoutARuntimeFolderOrAWritableSettingsFolderOneInstanceRuns()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        QTemporaryDir dir;
        // Not a folder at all, so not even root can put a lock in it.
        const QString config = dir.filePath(QStringLiteral("config"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        SingleInstance first(SingleInstance::lockFilePaths(config));
        QVERIFY(first.acquire());
        QCOMPARE(first.heldLockFile(), privateFolder() + QStringLiteral("/quillnook.lock"));
        SingleInstance second(SingleInstance::lockFilePaths(config));
        QVERIFY(!second.acquire());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
