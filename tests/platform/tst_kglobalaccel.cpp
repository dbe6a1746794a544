#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "hotkey/HotkeyManager.h"
#include "keys/ModifierFlags.h"
#include "platform/IniPreferences.h"
#include "platform/kde/KGlobalAccelHotkeyService.h"
#include "support/PrivateSessionBus.h"

// Plasma's real global-shortcut service (kglobalaccel5) on the test's X
// display and a session bus of the test's own; xdotool presses the keys.
class TestKGlobalAccel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("kglobalaccel5")).isEmpty())
            QSKIP("kglobalaccel5 (libkf5globalaccel-bin) is not installed");
        QVERIFY(!m_bus.address().isEmpty());
        QVERIFY(m_config.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_daemon.setProcessEnvironment(env);
        m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_connection = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("kglobalaccel-test"));
        QVERIFY(m_connection.isConnected());
        startDaemon();
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("kglobalaccel-test"));
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000))
            m_daemon.kill();
    }

    void theShortcutWorksAndFollowsSystemSettings()
    {
        KGlobalAccelHotkeyService service(m_connection);
        IniPreferences prefs(m_config.filePath(QStringLiteral("Quillnook.conf")));
        HotkeyManager manager(service, prefs);
        int toggles = 0;
        manager.setOnToggle([&toggles] { ++toggles; });
        QVERIFY(manager.isRegistered());

        // Ctrl+Shift+X, as Plasma lists it.
        const int ctrlShiftX = (Qt::CTRL | Qt::SHIFT | Qt::Key_X).toCombined();
        QTRY_COMPARE(shortcut(), QList<int> {ctrlShiftX});
        QTRY_VERIFY_WITH_TIMEOUT(press("ctrl+shift+x", toggles), 20000);

        // Changed in System Settings: Quillnook shows and keeps the new one.
        QDBusMessage foreign = call(QStringLiteral("setForeignShortcut"));
        foreign << KGlobalAccelHotkeyService::actionId()
                << QVariant::fromValue(QList<int> {(Qt::CTRL | Qt::ALT | Qt::Key_K).toCombined()});
        QVERIFY(m_connection.call(foreign).type() == QDBusMessage::ReplyMessage);
        QTRY_COMPARE(manager.toggleKeyCode(), std::uint16_t(40));
        QCOMPARE(manager.toggleModifiers(), ModifierFlags::Ctrl | ModifierFlags::Alt);
        QCOMPARE(prefs.readInteger(QStringLiteral("toggleKeyCode"), 0, 0xFFFF), std::optional<std::int64_t>(40));
        toggles = 0;
        QTRY_VERIFY_WITH_TIMEOUT(press("ctrl+alt+k", toggles), 20000);

        // Recorded in Quillnook: Plasma takes the new combination.
        QVERIFY(manager.updateToggle(16, ModifierFlags::Ctrl | ModifierFlags::Shift));
        QTRY_COMPARE(shortcut(), QList<int> {(Qt::CTRL | Qt::SHIFT | Qt::Key_Y).toCombined()});
        QVERIFY(!manager.hasConflict());
        toggles = 0;
        QTRY_VERIFY_WITH_TIMEOUT(press("ctrl+shift+y", toggles), 20000);
    }

    // The service quits and starts again (a crash, a session restarting
    // it): the new one grabs the keys only for actions registered with it,
    // so the shortcut must be registered again, with the combination the
    // user had chosen in System Settings.
    void theShortcutSurvivesARestartOfTheService()
    {
        KGlobalAccelHotkeyService service(m_connection);
        IniPreferences prefs(m_config.filePath(QStringLiteral("Restart.conf")));
        HotkeyManager manager(service, prefs);
        int toggles = 0;
        manager.setOnToggle([&toggles] { ++toggles; });
        QVERIFY(manager.updateToggle(17, ModifierFlags::Ctrl | ModifierFlags::Shift));
        QTRY_COMPARE(shortcut(), QList<int> {(Qt::CTRL | Qt::SHIFT | Qt::Key_T).toCombined()});
        QTRY_VERIFY_WITH_TIMEOUT(press("ctrl+shift+t", toggles), 20000);
        QDBusMessage foreign = call(QStringLiteral("setForeignShortcut"));
        foreign << KGlobalAccelHotkeyService::actionId()
                << QVariant::fromValue(QList<int> {(Qt::CTRL | Qt::ALT | Qt::Key_J).toCombined()});
        QVERIFY(m_connection.call(foreign).type() == QDBusMessage::ReplyMessage);
        QTRY_COMPARE(manager.toggleKeyCode(), std::uint16_t(38));

        m_daemon.terminate();
        QVERIFY(m_daemon.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(
            !m_connection.interface()->isServiceRegistered(QLatin1String(KGlobalAccelHotkeyService::Service)), 10000);
        startDaemon();
        QTRY_COMPARE_WITH_TIMEOUT(shortcut(), QList<int> {(Qt::CTRL | Qt::ALT | Qt::Key_J).toCombined()}, 20000);
        toggles = 0;
        QTRY_VERIFY_WITH_TIMEOUT(press("ctrl+alt+j", toggles), 20000);
        QCOMPARE(manager.toggleKeyCode(), std::uint16_t(38));
        QCOMPARE(manager.toggleModifiers(), ModifierFlags::Ctrl | ModifierFlags::Alt);
    }

    void keyCodesAndPlasmasKeysMeet()
    {
        for (const std::uint16_t keyCode :
             {std::uint16_t(0), std::uint16_t(29), std::uint16_t(0x2C), std::uint16_t(0x7A), std::uint16_t(123),
              std::uint16_t(0x57), std::uint16_t(49)}) {
            const auto modifiers = ModifierFlags::Ctrl | ModifierFlags::Super;
            const int key = KGlobalAccelHotkeyService::keyFromCombination(keyCode, modifiers);
            QVERIFY2(key, qPrintable(QString::number(keyCode)));
            const auto back = KGlobalAccelHotkeyService::combinationFromKey(key);
            QVERIFY(back);
            QCOMPARE(back->first, keyCode);
            QCOMPARE(back->second, std::uint32_t(modifiers));
        }
        QCOMPARE(KGlobalAccelHotkeyService::keyFromCombination(7, ModifierFlags::Shift | ModifierFlags::Alt),
                 (Qt::SHIFT | Qt::ALT | Qt::Key_X).toCombined());
    }

private:
    void startDaemon()
    {
        m_daemon.start(QStringLiteral("kglobalaccel5"), {});
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            m_connection.interface()->isServiceRegistered(QLatin1String(KGlobalAccelHotkeyService::Service)), 30000);
    }

    QDBusMessage call(const QString& method)
    {
        return QDBusMessage::createMethodCall(QLatin1String(KGlobalAccelHotkeyService::Service),
                                              QLatin1String(KGlobalAccelHotkeyService::Path),
                                              QLatin1String(KGlobalAccelHotkeyService::Interface), method);
    }

    QList<int> shortcut()
    {
        QDBusMessage message = call(QStringLiteral("shortcut"));
        message << KGlobalAccelHotkeyService::actionId();
        const QDBusReply<QList<int>> reply = m_connection.call(message);
        return reply.isValid() ? reply.value() : QList<int> {};
    }

    // Presses the keys until they toggled: the first key XTEST sends on a
    // display makes the server announce a new key map, and the service lets
    // go of its grabs and takes them again meanwhile, losing that press.
    // Each press is given up to 300 ms to arrive before the next one.
    static bool press(const char* keys, const int& toggles)
    {
        if (toggles == 0)
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)});
        return QTest::qWaitFor([&toggles] { return toggles > 0; }, 300);
    }

    PrivateSessionBus m_bus;
    QTemporaryDir m_config;
    QProcess m_daemon;
    QDBusConnection m_connection {QString()};
};

QTEST_GUILESS_MAIN(TestKGlobalAccel)
#include "tst_kglobalaccel.moc"
