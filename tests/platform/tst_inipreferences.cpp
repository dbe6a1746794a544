#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/IniPreferences.h"

// What the user wrote in the preferences file survives Quillnook's first write.
class TestIniPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_path = m_dir->filePath(QStringLiteral("Quillnook.conf"));
    }

    void nothingWrittenIsLost_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("backedUp");
        QTest::newRow("no file") << QByteArray() << false;
        QTest::newRow("as Quillnook writes it")
            << QByteArray("[General]\npanelOpacity=0.5\ntoggleKeyCode=40\n") << false;
        QTest::newRow("comments") << QByteArray("# dimmer at night\n[General]\npanelOpacity=0.5\n") << true;
        QTest::newRow("other syntax") << QByteArray("panelOpacity: 0.5\n{\"theme\": \"dark\"}\n") << true;
        QTest::newRow("spaces around =") << QByteArray("[General]\npanelOpacity = 0.5\n") << true;
        QTest::newRow("other groups") << QByteArray("[General]\npanelOpacity=0.5\n;a note\n[Window]\nx=3\n") << true;
    }
    void nothingWrittenIsLost()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, backedUp);
        if (!contents.isEmpty())
            write(m_path, contents);

        IniPreferences prefs(m_path);
        prefs.setValue(QStringLiteral("toggleModifiers"), QStringLiteral("1179648"));
        prefs.setValue(QStringLiteral("toggleKeyCode"), QStringLiteral("41"));

        const QString backup = m_path + QStringLiteral(".bak");
        QCOMPARE(QFile::exists(backup), backedUp);
        QCOMPARE(prefs.backupPath(), backedUp ? backup : QString());
        if (backedUp)
            QCOMPARE(read(backup), contents);
        // One copy, before the first write only.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), backedUp ? 2 : 1);

        IniPreferences reread(m_path);
        QCOMPARE(reread.value(QStringLiteral("toggleModifiers")), QStringLiteral("1179648"));
        QCOMPARE(reread.value(QStringLiteral("toggleKeyCode")), QStringLiteral("41"));
    }

    void anEarlierBackupIsNeverOverwritten()
    {
        const QByteArray first("# first\npanelOpacity=0.4\n");
        const QByteArray second("# second\npanelOpacity=0.6\n");
        write(m_path + QStringLiteral(".bak"), first);
        write(m_path + QStringLiteral(".bak-2"), first);
        write(m_path, second);

        IniPreferences prefs(m_path);
        prefs.setValue(QStringLiteral("panelOpacity"), QStringLiteral("0.7"));
        QCOMPARE(read(m_path + QStringLiteral(".bak")), first);
        QCOMPARE(read(m_path + QStringLiteral(".bak-2")), first);
        QCOMPARE(read(m_path + QStringLiteral(".bak-3")), second);
        QCOMPARE(prefs.backupPath(), m_path + QStringLiteral(".bak-3"));
    }

    void readingNeverWrites()
    {
        const QByteArray contents("# note\n[General]\npanelOpacity=abc\n");
        write(m_path, contents);
        IniPreferences prefs(m_path);
        QCOMPARE(prefs.value(QStringLiteral("panelOpacity")), QStringLiteral("abc"));
        QVERIFY(!prefs.readDouble(QStringLiteral("panelOpacity")));
        QCOMPARE(read(m_path), contents);
        QVERIFY(!QFile::exists(m_path + QStringLiteral(".bak")));
    }

private:
    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestIniPreferences)
#include "tst_inipreferences.moc"
