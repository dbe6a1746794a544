// The real program on a real X server: the notes reach the disk however the
// program ends, and other programs' versions of the file are never lost.
#include <csignal>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/BuiltProgram.h"
#include "support/FileBytes.h"
#include "support/X11Tools.h"

#include <sys/inotify.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace X11Tools;

// Sees another process read a file: it opens it to read only and closes it,
// which is how the program loads a change made outside. Our own writes open
// it for writing and do not count.
class ReadWatch
{
public:
    explicit ReadWatch(const QString& path)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_CLOSE_NOWRITE);
    }
    ~ReadWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ReadWatch(const ReadWatch&) = delete;
    ReadWatch& operator=(const ReadWatch&) = delete;

    bool waitForRead(int timeoutMs = 10000)
    {
        return m_fd >= 0
            && QTest::qWaitFor(
                   [this] {
                       alignas(inotify_event) char buffer[4096];
                       bool read = false;
                       for (ssize_t got; (got = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
                           for (ssize_t at = 0; at < got;) {
                               const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                               read = read || (event->mask & IN_CLOSE_NOWRITE);
                               at += ssize_t(sizeof(inotify_event)) + event->len;
                           }
                       }
                       return read;
                   },
                   timeoutMs);
    }

private:
    int m_fd;
};

class TestNotesSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_binary = BuiltProgram::path();
        QVERIFY2(!m_binary.isEmpty(), "QUILLNOOK_BINARY must name the built program");
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs the suite's X server");
    }

    void init()
    {
        m_environment.clear();
        m_unset.clear();
        m_home.emplace();
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("Documents"))));
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("runtime"))));
        QVERIFY(QFile::setPermissions(m_home->filePath(QStringLiteral("runtime")),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    void cleanup()
    {
        stop();
        for (QProcess* server : {&m_openbox, &m_xvfb}) {
            if (server->state() != QProcess::NotRunning) {
                server->kill();
                server->waitForFinished();
            }
        }
    }

    void steadyTypingIsOnDiskWhenTheProgramIsKilled()
    {
        start();
        if (QTest::currentTestFailed())
            return;
        // One key every 150 ms for five seconds, then no chance to save. The
        // pauses are the rhythm being tested, not waits for something.
        const QString typed = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456");
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < typed.size(); ++i) {
            while (clock.elapsed() < i * 150)
                QTest::qWait(5);
            xdotool({QStringLiteral("type"), typed.mid(i, 1)});
        }
        while (clock.elapsed() < 5000)
            QTest::qWait(5);
        ::kill(pid_t(m_process.processId()), SIGKILL);
        QVERIFY(m_process.waitForFinished(5000));
        const QByteArray onDisk = readBytes(notesPath());
        // Everything typed in the first three seconds.
        QVERIFY2(onDisk.size() >= 3000 / 150 + 1, onDisk.constData());
        QVERIFY2(typed.toUtf8().startsWith(onDisk), onDisk.constData());
    }

    void theTextIsSavedWhenTheXServerGoesAway()
    {
        // A display of this test's own, so it can be killed.
        int number = 150;
        while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))
               || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            ++number;
        const QString display = QStringLiteral(":%1").arg(number);
        m_xvfb.start(QStringLiteral("Xvfb"),
                     {display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1440x900x24"),
                      QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
        QVERIFY(m_xvfb.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)), 10000);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        m_openbox.setProcessEnvironment(env);
        m_openbox.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        QVERIFY(m_openbox.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(onDisplay(QStringLiteral("xprop"),
                                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
                                           display)
                                     .contains(QLatin1String("window id")),
                                 10000);

        start(display);
        if (QTest::currentTestFailed())
            return;
        // The first words saved as usual show the program has started up and
        // takes the keys as they come.
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), QStringLiteral("last ")},
                display);
        QTRY_COMPARE_WITH_TIMEOUT(readBytes(notesPath()), QByteArray("last "), 10000);
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), QStringLiteral("words")},
                display);
        // Time for the keys to be handled, well inside the half-second pause:
        // only a save on the way out can keep them.
        QTest::qWait(250);
        m_xvfb.kill();
        QVERIFY(m_process.waitForFinished(10000));
        QCOMPARE(readBytes(notesPath()), QByteArray("last words"));
    }

    void aFailingLastSaveLeavesARecoveryFileTheNextStartNames()
    {
        start();
        if (QTest::currentTestFailed())
            return;
        type(QStringLiteral("first"));
        QTRY_COMPARE_WITH_TIMEOUT(readBytes(notesPath()), QByteArray("first"), 5000);
        // A file where the notes folder was: no save can succeed, even as root.
        const QString documents = m_home->filePath(QStringLiteral("Documents"));
        QVERIFY(QDir().rename(documents, documents + QStringLiteral(".away")));
        writeBytes(documents, "not a folder");
        type(QStringLiteral(" more"));
        // Past the pause, so the save has failed once in the running program
        // (which shows it only in its window) before the last one on the way out.
        QTest::qWait(800);
        ::kill(pid_t(m_process.processId()), SIGTERM);
        QVERIFY(m_process.waitForFinished(10000));
        QVERIFY(m_process.readAllStandardOutput().contains("Could not save notes: Not a directory"));

        const QString state = m_home->filePath(QStringLiteral("state/Quillnook"));
        const QFileInfoList kept = QDir(state).entryInfoList({QStringLiteral("Quillnook-*.txt")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readBytes(kept.constFirst().filePath()), QByteArray("first more"));
        QCOMPARE(readBytes(documents + QStringLiteral(".away/Quillnook.txt")), QByteArray("first"));

        QVERIFY(QFile::remove(documents));
        QVERIFY(QDir().rename(documents + QStringLiteral(".away"), documents));
        start();
        if (QTest::currentTestFailed())
            return;
        // The start that shows the banner marks the file as told.
        QTRY_VERIFY(readBytes(state + QStringLiteral("/.announced")).contains(kept.constFirst().fileName().toUtf8()));
    }

    void anOutsideAppendIsLoadedAndKeptThroughHideAndQuit()
    {
        writeBytes(notesPath(), "mine\n");
        start();
        if (QTest::currentTestFailed())
            return;
        ReadWatch reads(notesPath());
        writeBytes(notesPath(), "theirs\n", QIODevice::Append);
        QVERIFY(reads.waitForRead());
        key(QStringLiteral("shift+ctrl+x"));
        QTRY_VERIFY(!isViewable(m_panel));
        stop();
        QCOMPARE(readBytes(notesPath()), QByteArray("mine\ntheirs\n"));

        // Loaded into the pad, not only left alone.
        start();
        if (QTest::currentTestFailed())
            return;
        ReadWatch readsAgain(notesPath());
        writeBytes(notesPath(), "again\n", QIODevice::Append);
        QVERIFY(readsAgain.waitForRead());
        key(QStringLiteral("ctrl+End"));
        type(QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(readBytes(notesPath()), QByteArray("mine\ntheirs\nagain\nok"), 5000);
    }

    void bothSidesChangedLeavesBothVersionsOnDisk()
    {
        writeBytes(notesPath(), "base");
        start();
        if (QTest::currentTestFailed())
            return;
        key(QStringLiteral("ctrl+End"));
        type(QStringLiteral(" ours"));
        writeBytes(notesPath(), "theirs");
        // The keys may reach the program before or after it sees the other
        // version; either way nothing is lost. Typed text not yet saved wins
        // the file and the other version is kept aside (the store's own test
        // pins that order down); keys that come only after it loaded the
        // other version are typed onto that.
        QTRY_VERIFY_WITH_TIMEOUT(readBytes(notesPath()) == "base ours" || readBytes(notesPath()) == "theirs ours",
                                 5000);
        const QByteArray saved = readBytes(notesPath());
        if (saved == "base ours")
            QCOMPARE(readBytes(notesPath() + QStringLiteral(".conflict")), QByteArray("theirs"));
        else
            QVERIFY(!QFile::exists(notesPath() + QStringLiteral(".conflict")));
        stop();
        QCOMPARE(readBytes(notesPath()), saved);
    }

    void withoutARuntimeFolderAndWithReadOnlySettingsOneInstanceRuns()
    {
        // No runtime folder, and settings that cannot hold a lock, even for root.
        const QString config = m_home->filePath(QStringLiteral("config"));
        writeBytes(config, "not a folder");
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("tmp"))));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        m_environment.insert(QStringLiteral("TMPDIR"), m_home->filePath(QStringLiteral("tmp")));
        m_unset.append(QStringLiteral("XDG_RUNTIME_DIR"));
        start();
        if (QTest::currentTestFailed())
            return;
        QProcess second;
        second.setProcessEnvironment(m_process.processEnvironment());
        second.start(m_binary);
        QVERIFY(second.waitForFinished(20000));
        const QByteArray said = second.readAllStandardError();
        // How it winds down after saying so is not this test's concern.
        QVERIFY2(said.contains("Quillnook is already running"), said.constData());
        QVERIFY(QFile::exists(m_home->filePath(QStringLiteral("tmp/quillnook-%1/quillnook.lock").arg(::geteuid()))));
        QCOMPARE(m_process.state(), QProcess::Running);
    }

private:
    static QString xdotool(const QStringList& args, const QString& display = {})
    {
        return onDisplay(QStringLiteral("xdotool"), args, display);
    }
    // What the program prints, run on another display than the suite's.
    static QString onDisplay(const QString& program, const QStringList& args, const QString& display)
    {
        if (display.isEmpty())
            return run(program, args);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        process.setProcessEnvironment(env);
        process.start(program, args);
        process.waitForFinished(20000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    static void type(const QString& text)
    {
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), text});
    }

    QString notesPath() const { return m_home->filePath(QStringLiteral("Documents/Quillnook.txt")); }

    void start(const QString& display = {})
    {
        QProcessEnvironment env = BuiltProgram::environment(m_home->path());
        for (const QString& name : m_environment.keys())
            env.insert(name, m_environment.value(name));
        for (const QString& name : std::as_const(m_unset))
            env.remove(name);
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        QVERIFY(BuiltProgram::start(m_process, m_binary, env));
        if (!display.isEmpty()) {
            const QStringList search {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--classname"), QStringLiteral("^quillnook$")};
            QTRY_VERIFY_WITH_TIMEOUT(!xdotool(search, display).isEmpty(), 20000);
            // Mapped; the window manager gives it the focus a moment later.
            QTRY_VERIFY_WITH_TIMEOUT(sameWindow(xdotool({QStringLiteral("getwindowfocus")}, display),
                                                xdotool(search, display).section(QLatin1Char('\n'), 0, 0)),
                                     10000);
            return;
        }
        // Generous: the machine running the suite may be busy with other work.
        m_panel = waitForViewableWindow(QStringLiteral("quillnook"), QStringLiteral("Quillnook"), 20000);
        QVERIFY2(!m_panel.isEmpty(), "the panel did not show");
        QTRY_VERIFY_WITH_TIMEOUT(sameWindow(focusedWindow(), m_panel), 10000);
    }

    void stop()
    {
        endProgram(m_process);
        m_panel.clear();
    }

    QString m_binary;
    std::optional<QTemporaryDir> m_home;
    // Set by a test before it starts the program.
    QProcessEnvironment m_environment;
    QStringList m_unset;
    QProcess m_process;
    QProcess m_xvfb;
    QProcess m_openbox;
    QString m_panel;
};

QTEST_GUILESS_MAIN(TestNotesSafety)
#include "tst_notessafety.moc"
