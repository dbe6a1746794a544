// The real program in a desktop session of its own: a private session bus
// with a fake desktop portal, and the suite's X server standing in for
// XWayland. Covers `quillnook --toggle`, one instance per user, the channel's
// refusals and the portal's global shortcut on Wayland sessions.
#include <csignal>
#include <tuple>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/BuiltProgram.h"
#include "support/FakePortal.h"
#include "support/PrivateSessionBus.h"
#include "support/X11Tools.h"

#include <unistd.h>

using namespace X11Tools;

namespace {
const QString serviceName = QStringLiteral("app.quillnook.Quillnook");
const QString objectPath = QStringLiteral("/app/quillnook/Quillnook");

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};
} // namespace

class TestDesktopSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_binary = BuiltProgram::path();
        QVERIFY2(!m_binary.isEmpty(), "QUILLNOOK_BINARY must name the built program");
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs the suite's X server");
        QVERIFY2(!m_bus.address().isEmpty(), "needs dbus-daemon");
        m_portalBus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("portal"));
        m_clientBus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("client"));
        QVERIFY(m_portal.start(m_portalBus));
    }

    void init()
    {
        m_home.emplace();
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("Documents"))));
        m_portal.sessions.clear();
        m_portal.binds.clear();
    }

    void cleanup()
    {
        endProgram(m_process);
        // One started by `--toggle` runs detached from us.
        const QDBusReply<uint> pid = m_clientBus.interface()->servicePid(serviceName);
        if (pid.isValid())
            ::kill(pid_t(pid.value()), SIGTERM);
        QTRY_VERIFY(!m_clientBus.interface()->isServiceRegistered(serviceName).value());
        QTRY_VERIFY(panels().isEmpty());
    }

    void theOptionsExplainThemselves_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help") << QStringList {QStringLiteral("--help")} << 0 << QStringLiteral("--toggle")
                                << QString();
        QTest::newRow("--version") << QStringList {QStringLiteral("--version")} << 0
                                   << QStringLiteral("Quillnook 0.1.0") << QString();
        QTest::newRow("unknown option") << QStringList {QStringLiteral("--hide")} << 2 << QString()
                                        << QStringLiteral("unknown option '--hide'");
    }
    void theOptionsExplainThemselves()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const Outcome outcome = runBinary(arguments, x11Environment());
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(outcome.out.contains(out), qPrintable(outcome.out));
        QVERIFY2(outcome.err.contains(err), qPrintable(outcome.err));
        QVERIFY(panels().isEmpty());
    }

    void toggleShowsAndHidesTheRunningPanel()
    {
        start(x11Environment());
        for (const bool visibleAfter : {false, true, false}) {
            const Outcome outcome = runBinary({QStringLiteral("--toggle")}, x11Environment());
            QCOMPARE(outcome.exitCode, 0);
            QTRY_COMPARE(isViewable(m_panel), visibleAfter);
        }
        // Still the one program that started, answering on the bus.
        QCOMPARE(m_process.state(), QProcess::Running);
        QCOMPARE(m_clientBus.interface()->servicePid(serviceName).value(), uint(m_process.processId()));
    }

    void aSecondPlainStartShowsThePanelAndLeavesOneProcess()
    {
        start(x11Environment());
        QCOMPARE(runBinary({QStringLiteral("--toggle")}, x11Environment()).exitCode, 0);
        QTRY_VERIFY(!isViewable(m_panel));

        const Outcome second = runBinary({}, x11Environment());
        QCOMPARE(second.exitCode, 0);
        QTRY_VERIFY(isViewable(m_panel));
        QCOMPARE(viewablePanels().size(), 1);
        QCOMPARE(m_clientBus.interface()->servicePid(serviceName).value(), uint(m_process.processId()));
    }

    void toggleStartsQuillnookWhenNoneRuns()
    {
        const Outcome outcome = runBinary({QStringLiteral("--toggle")}, x11Environment());
        QCOMPARE(outcome.exitCode, 0);
        m_panel = waitForViewableWindow(QStringLiteral("quillnook"), QStringLiteral("Quillnook"));
        QVERIFY(!m_panel.isEmpty());
    }

    void toggleWithoutASessionBusSaysSo()
    {
        QProcessEnvironment env = x11Environment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
        // No display either, so nothing may start a bus for us.
        env.remove(QStringLiteral("DISPLAY"));
        const Outcome outcome = runBinary({QStringLiteral("--toggle")}, env);
        QVERIFY(outcome.exitCode != 0);
        QVERIFY2(outcome.err.contains(QLatin1String("needs the session bus")), qPrintable(outcome.err));
        QVERIFY(panels().isEmpty());
    }

    void strangersOnTheChannelChangeNothing()
    {
        start(x11Environment());
        auto call = [this](const QString& interface, const QString& method, const QVariantList& args) {
            QDBusMessage message = QDBusMessage::createMethodCall(serviceName, objectPath, interface, method);
            message.setArguments(args);
            return m_clientBus.call(message, QDBus::Block, 5000);
        };
        // Requests we do not offer, or with arguments we do not take.
        QCOMPARE(call(serviceName, QStringLiteral("Quit"), {}).type(), QDBusMessage::ErrorMessage);
        QCOMPARE(call(serviceName, QStringLiteral("TogglePanel"), {QStringLiteral("now")}).type(),
                 QDBusMessage::ErrorMessage);
        QCOMPARE(call(QStringLiteral("org.example.Other"), QStringLiteral("TogglePanel"), {}).type(),
                 QDBusMessage::ErrorMessage);
        // A signal of the same name is no request.
        m_clientBus.send(QDBusMessage::createSignal(objectPath, serviceName, QStringLiteral("TogglePanel")));

        // Another user on a bus that lets others in is refused by us.
        if (::getuid() == 0) {
            QProcess stranger;
            stranger.start(QStringLiteral("setpriv"),
                           {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                            QStringLiteral("--clear-groups"), QStringLiteral("dbus-send"),
                            QStringLiteral("--bus=") + m_bus.address(), QStringLiteral("--print-reply"),
                            QStringLiteral("--dest=") + serviceName, objectPath,
                            serviceName + QStringLiteral(".TogglePanel")});
            QVERIFY(stranger.waitForFinished(10000));
            const QString refusal = QString::fromUtf8(stranger.readAllStandardError());
            QVERIFY2(refusal.contains(QLatin1String("AccessDenied")), qPrintable(refusal));
        }

        QCOMPARE(m_process.state(), QProcess::Running);
        // The channel itself was open all along. Its answer comes after
        // everything above was handled, and the panel goes down: had any of
        // those toggled it, this would bring it back.
        QCOMPARE(call(serviceName, QStringLiteral("TogglePanel"), {}).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY(!isViewable(m_panel));
        QCOMPARE(m_process.state(), QProcess::Running);
    }

    void onWaylandTheShortcutIsThePortals_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("default") << QByteArray() << QStringLiteral("CTRL+SHIFT+x");
        QTest::newRow("stored Alt+Super+K")
            << QByteArray("[General]\ntoggleKeyCode=40\ntoggleModifiers=786432\n") << QStringLiteral("ALT+LOGO+k");
    }
    void onWaylandTheShortcutIsThePortals()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, trigger);
        if (!config.isEmpty())
            writeConfig(config);
        start(waylandEnvironment());

        QTRY_COMPARE(m_portal.binds.size(), 1);
        QCOMPARE(m_portal.sessions.size(), 1);
        QCOMPARE(m_portal.binds.constFirst().size(), 1);
        const FakePortal::Shortcut shortcut = m_portal.binds.constFirst().constFirst();
        QCOMPARE(shortcut.properties.value(QStringLiteral("description")),
                 QVariant(QStringLiteral("Show or hide the Quillnook panel")));
        QCOMPARE(shortcut.properties.value(QStringLiteral("preferred_trigger")), QVariant(trigger));

        const QString session = m_portal.sessions.constFirst();
        // Another shortcut does nothing: ours, activated after it, hides the
        // panel, which it would show had the other one hidden it.
        m_portal.emitActivated(session, QStringLiteral("some-other-shortcut"));
        m_portal.emitActivated(session, shortcut.id);
        QTRY_VERIFY(!isViewable(m_panel));
        m_portal.emitActivated(session, shortcut.id);
        QTRY_VERIFY(isViewable(m_panel));
        QCOMPARE(m_portal.binds.size(), 1);
    }

    void onWaylandWithoutXWaylandItSaysSoAndLeaves_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("a plain start") << QStringList {};
        // With none running, the toggle would have to start one.
        QTest::newRow("--toggle") << QStringList {QStringLiteral("--toggle")};
    }
    void onWaylandWithoutXWaylandItSaysSoAndLeaves()
    {
        QFETCH(QStringList, arguments);
        QProcessEnvironment env = waylandEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        const Outcome outcome = runBinary(arguments, env);
        QVERIFY(outcome.exitCode != 0);
        QCOMPARE(outcome.err.count(u'\n'), 1);
        QVERIFY2(outcome.err.contains(QLatin1String("needs XWayland")), qPrintable(outcome.err));
        QVERIFY(panels().isEmpty());
    }

    void forcedOntoWaylandWithoutQtsSupportItRunsThroughXWayland()
    {
        if (!QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"))
                 .entryList({QStringLiteral("libqwayland*.so")})
                 .isEmpty())
            QSKIP("Qt's Wayland platform plugin is installed here");
        QProcessEnvironment env = waylandEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        start(env);
        QCOMPARE(m_process.state(), QProcess::Running);
        const QString err = QString::fromUtf8(m_process.readAllStandardError());
        QVERIFY2(err.contains(QLatin1String("running through XWayland")), qPrintable(err));
    }

private:
    QProcessEnvironment baseEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        for (const char* name : {"WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM", "GDK_BACKEND"})
            env.remove(QLatin1String(name));
        return env;
    }

    QProcessEnvironment x11Environment() const
    {
        QProcessEnvironment env = baseEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

    // The program picks the X11 backends itself; the suite's X server is its XWayland.
    QProcessEnvironment waylandEnvironment() const
    {
        QProcessEnvironment env = baseEnvironment();
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("quillnook-test-wayland-0"));
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        return env;
    }

    void writeConfig(const QByteArray& ini)
    {
        const QString dir = m_home->filePath(QStringLiteral("config/Quillnook"));
        QVERIFY(QDir().mkpath(dir));
        QFile file(dir + QStringLiteral("/Quillnook.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(ini) == ini.size());
    }

    static QStringList panels() { return findWindows(QStringLiteral("quillnook"), QStringLiteral("Quillnook")); }

    // Windows of that name that are on screen: the program keeps others of
    // the same name unmapped.
    static QStringList viewablePanels()
    {
        QStringList viewable;
        for (const QString& window : panels()) {
            if (isViewable(window))
                viewable.append(window);
        }
        return viewable;
    }

    // Runs the program to its end; the event loop keeps turning meanwhile, so
    // the fake portal in this process can answer it.
    Outcome runBinary(const QStringList& arguments, const QProcessEnvironment& env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(m_binary, arguments);
        Outcome outcome;
        if (!process.waitForStarted())
            return outcome;
        std::ignore = QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 15000);
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.out = QString::fromUtf8(process.readAllStandardOutput());
        outcome.err = QString::fromUtf8(process.readAllStandardError());
        return outcome;
    }

    void start(const QProcessEnvironment& env)
    {
        m_process.setProcessEnvironment(env);
        m_process.setProgram(m_binary);
        m_process.start();
        QVERIFY(m_process.waitForStarted());
        m_panel = waitForViewableWindow(QStringLiteral("quillnook"), QStringLiteral("Quillnook"));
        QVERIFY(!m_panel.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(m_clientBus.interface()->isServiceRegistered(serviceName).value(), 10000);
    }

    QString m_binary;
    PrivateSessionBus m_bus;
    QDBusConnection m_portalBus {QString()};
    QDBusConnection m_clientBus {QString()};
    FakePortal m_portal;
    std::optional<QTemporaryDir> m_home;
    QProcess m_process;
    QString m_panel;
};

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktopsession.moc"
