// The user's notice lines: one prefix, one line each, flushed at once, and
// the one switch tests use to read them.
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <QTest>

#include "base/Notices.h"

namespace {
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File temporaryFile()
{
    return File(std::tmpfile(), &std::fclose);
}

// What was written, read back without the writer's help: nothing is left
// in a buffer after warn() returns.
QByteArray written(std::FILE* file)
{
    QByteArray bytes;
    std::rewind(file);
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file))
        bytes.append(buffer, qsizetype(n));
    return bytes;
}
} // namespace

class TestNotices : public QObject
{
    Q_OBJECT

private slots:
    void linesCarryThePrefixAndGoOutAtOnce()
    {
        File file = temporaryFile();
        QVERIFY(file);
        {
            const Notices::Redirect redirect(file.get());
            Notices::warn(QStringLiteral("Could not save notes: disk full"));
            // Bytes in the local encoding are written unchanged.
            Notices::warn(QByteArray("the text is kept in /tmp/caf\xe9.txt"));
            QCOMPARE(
                written(file.get()),
                QByteArray("⚠️ Could not save notes: disk full\n⚠️ the text is kept in /tmp/caf\xe9.txt\n"));
        }
        QCOMPARE(Notices::stream(), stdout);
    }

    void aNullStreamKeepsLinesBack()
    {
        File file = temporaryFile();
        const Notices::Redirect outer(file.get());
        {
            const Notices::Redirect silent(nullptr);
            Notices::warn(QStringLiteral("not shown"));
        }
        Notices::warn(QStringLiteral("shown"));
        QCOMPARE(written(file.get()), QByteArray("⚠️ shown\n"));
    }

    // The web engine's threads tell the user too; lines never mix.
    void linesFromTwoThreadsStayWhole()
    {
        File file = temporaryFile();
        const Notices::Redirect redirect(file.get());
        constexpr int perThread = 300;
        std::vector<std::thread> threads;
        for (const char* name : {"first", "second"}) {
            threads.emplace_back([name] {
                for (int i = 0; i < perThread; ++i)
                    Notices::warn(QStringLiteral("Download failed: %1 %2").arg(QLatin1String(name)).arg(i));
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        const QList<QByteArray> lines = written(file.get()).split('\n');
        QCOMPARE(lines.size(), 2 * perThread + 1);
        QVERIFY(lines.last().isEmpty());
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            QVERIFY2(lines.at(i).startsWith("⚠️ Download failed: ") && lines.at(i).count("⚠️") == 1,
                     lines.at(i));
    }

    // Reports keep their text as it is, go to standard error, and have a
    // switch of their own: redirecting one kind leaves the other alone.
    void reportsGoToTheirOwnStreamUnchanged()
    {
        QCOMPARE(Notices::stream(Notices::Kind::Report), stderr);
        File warnings = temporaryFile();
        File reports = temporaryFile();
        QVERIFY(warnings && reports);
        {
            const Notices::Redirect toWarnings(warnings.get());
            const Notices::Redirect toReports(reports.get(), Notices::Kind::Report);
            Notices::report(QStringLiteral("quillnook: unknown option --x\nTry 'quillnook --help'."));
            Notices::report(QByteArray("Quillnook is already running."));
            Notices::warn(QStringLiteral("Could not capture the screen: denied"));
            QCOMPARE(
                written(reports.get()),
                QByteArray("quillnook: unknown option --x\nTry 'quillnook --help'.\nQuillnook is already running.\n"));
            QCOMPARE(written(warnings.get()), QByteArray("⚠️ Could not capture the screen: denied\n"));
            {
                const Notices::Redirect silent(nullptr, Notices::Kind::Report);
                Notices::report(QStringLiteral("not shown"));
            }
            QCOMPARE(written(reports.get()).count('\n'), 3);
        }
        QCOMPARE(Notices::stream(Notices::Kind::Report), stderr);
        QCOMPARE(Notices::stream(), stdout);
    }
};

QTEST_GUILESS_MAIN(TestNotices)
#include "tst_notices.moc"
