#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "app/SingleInstance.h"

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void theLockLivesInTheRuntimeFolder_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<QString>("expectedFolder");
        QTest::newRow("runtime folder") << QStringLiteral("runtime") << QStringLiteral("runtime");
        QTest::newRow("no runtime folder set") << QString() << QStringLiteral("config");
        QTest::newRow("runtime folder missing") << QStringLiteral("gone") << QStringLiteral("config");
    }
    void theLockLivesInTheRuntimeFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, expectedFolder);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("runtime")));
        const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath(runtime)));
        const QString path = SingleInstance::lockFilePath(dir.filePath(QStringLiteral("config")));
        qputenv("XDG_RUNTIME_DIR", old);
        QCOMPARE(path, dir.filePath(expectedFolder + QStringLiteral("/quillnook.lock")));
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
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
