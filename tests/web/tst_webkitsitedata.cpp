#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/LocalHttpServer.h"

// Site data outlives the engine: each step is a run of its own over the same
// XDG folders, as Quillnook started again would be.
class TestWebKitSiteData : public QObject
{
    Q_OBJECT

private slots:
    void cookiesWithAnExpirySurviveARestart();
    void siteDataIsTheUsersAlone();

private:
    int probe(const QUrl& url);

    QTemporaryDir m_home;
    LocalHttpServer m_server;
};

int TestWebKitSiteData::probe(const QUrl& url)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(QUILLNOOK_PROBE), {url.toString()});
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000)) {
        process.kill();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void TestWebKitSiteData::cookiesWithAnExpirySurviveARestart()
{
    QVERIFY(m_home.isValid() && m_server.isListening());
    const QString expires = QLocale::c().toString(QDateTime::currentDateTimeUtc().addDays(30),
                                                  QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
    LocalHttpServer::Route set;
    set.body = "<title>set</title>";
    set.extraHeaders
        = {"Set-Cookie: kept=yes; Path=/; Expires=" + expires.toLatin1(), "Set-Cookie: passing=yes; Path=/"};
    m_server.route("/set", set);
    m_server.html("/check", "<title>check</title>");

    QCOMPARE(probe(m_server.url(QStringLiteral("/set"))), 0);
    QCOMPARE(probe(m_server.url(QStringLiteral("/check"))), 0);
    const QList<LocalHttpServer::Request> checks = m_server.requestsFor("/check");
    QVERIFY(!checks.isEmpty());
    // The cookie with an expiry is sent again; the session cookie died with
    // the first run.
    QCOMPARE(checks.first().headers.value("cookie"), QByteArray("kept=yes"));
    QVERIFY(QDir(m_home.filePath(QStringLiteral("data/Quillnook/web"))).exists());
    QVERIFY(QFileInfo::exists(m_home.filePath(QStringLiteral("data/Quillnook/web/cookies.sqlite"))));
}

void TestWebKitSiteData::siteDataIsTheUsersAlone()
{
    // Folders and a file as an earlier version left them, open to all.
    const QString data = m_home.filePath(QStringLiteral("data/Quillnook/web"));
    const QString cache = m_home.filePath(QStringLiteral("cache/Quillnook/web"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/old")) && QDir().mkpath(cache));
    QFile old(data + QStringLiteral("/old/store"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("x") == 1);
    old.close();
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QVERIFY(old.setPermissions(open));
    QVERIFY(QFile::setPermissions(data, open | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));

    LocalHttpServer::Route page;
    page.body = "<title>stored</title><script>localStorage.setItem('k', 'v')</script>";
    page.extraHeaders = {"Set-Cookie: kept=yes; Path=/; Max-Age=86400"};
    m_server.route("/store", page);
    QCOMPARE(probe(m_server.url(QStringLiteral("/store"))), 0);

    int files = 0;
    for (const QString& root : {data, cache}) {
        QVERIFY(QFileInfo(root).permissions()
                == (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
                    | QFile::ExeUser));
        QDirIterator entries(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
        while (entries.hasNext()) {
            const QString path = entries.next();
            const QFileInfo info = entries.fileInfo();
            if (info.isSymLink())
                continue;
            const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                | QFile::WriteOther | QFile::ExeOther;
            QVERIFY2(!(info.permissions() & others), qPrintable(path));
            files += info.isFile();
        }
    }
    // The cookie store among them.
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/cookies.sqlite")));
    QVERIFY(files > 2);
}

QTEST_GUILESS_MAIN(TestWebKitSiteData)
#include "tst_webkitsitedata.moc"
