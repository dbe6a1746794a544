// The desktop's file manager through the session bus, and the folder it
// falls back to where none answers.
#include <QDBusConnection>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include "platform/FreedesktopFileManager.h"

// Stands in for the desktop's file manager on the session bus.
class FileManagerPeer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

// Receives the URLs handed to the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class TestFileManager : public QObject
{
    Q_OBJECT

private:
    UrlCatcher m_catcher;
    QTemporaryDir m_dir;

    QString notesPath() const { return m_dir.filePath(QStringLiteral("Quillnook Notes.txt")); }

private slots:
    void init()
    {
        m_catcher.opened.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_catcher, "open");
    }

    void cleanup() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void showsTheFileSelectedElseOpensItsFolder()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QFAIL("needs the session bus that the test runner starts");
        FileManagerPeer peer;
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &peer,
                                   QDBusConnection::ExportAllSlots));
        FreedesktopFileManager fileManager(bus);
        // The file need not exist yet.
        fileManager.showItem(notesPath());
        QTRY_COMPARE(peer.shown, QStringList {QUrl::fromLocalFile(notesPath()).toString()});
        QVERIFY(m_catcher.opened.isEmpty());

        // Nobody answers: the folder that holds the file opens instead.
        bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
        QVERIFY(bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1")));
        fileManager.showItem(notesPath());
        QTRY_COMPARE(m_catcher.opened, QList<QUrl> {QUrl::fromLocalFile(m_dir.path())});
        QCOMPARE(peer.shown.size(), 1);
    }

    void withoutABusTheFolderOpensAtOnce()
    {
        FreedesktopFileManager fileManager(QDBusConnection(QStringLiteral("not connected")));
        fileManager.showItem(notesPath());
        QCOMPARE(m_catcher.opened, QList<QUrl> {QUrl::fromLocalFile(m_dir.path())});
    }
};

QTEST_MAIN(TestFileManager)
#include "tst_filemanager.moc"
