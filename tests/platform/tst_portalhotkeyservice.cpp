// The global shortcut through the desktop's global-shortcuts portal, against
// a fake portal on a private session bus.
#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

#include "hotkey/HotkeyManager.h"
#include "platform/IniPreferences.h"
#include "platform/portal/PortalHotkeyService.h"
#include "platform/portal/PortalTrigger.h"
#include "support/FakePortal.h"
#include "support/PrivateSessionBus.h"

namespace {
constexpr std::uint32_t ctrlShift = ModifierFlags::Shift | ModifierFlags::Ctrl;
} // namespace

class TestPortalHotkeyService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!m_bus.address().isEmpty(), "needs dbus-daemon");
        m_portalBus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("portal"));
        m_clientBus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("client"));
        QVERIFY(m_portalBus.isConnected() && m_clientBus.isConnected());
        QVERIFY(m_portal.start(m_portalBus));
    }

    void init()
    {
        // Each case starts once the answers of the one before have gone out.
        QTRY_COMPARE(m_portal.answersPending, 0);
        m_portal.sessions.clear();
        m_portal.binds.clear();
        m_portal.bindsAnswered = 0;
        m_portal.bindResponse = 0;
    }

    void triggersAreWrittenInThePortalsSyntax_data()
    {
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<uint>("modifiers");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("default Shift+Ctrl+X") << 7 << uint(ctrlShift) << QStringLiteral("CTRL+SHIFT+x");
        QTest::newRow("every modifier, in order") << 40 << uint(ModifierFlags::Super | ModifierFlags::Alt | ctrlShift)
                                                  << QStringLiteral("CTRL+ALT+SHIFT+LOGO+k");
        QTest::newRow("digit") << 0x1D << uint(ModifierFlags::Alt) << QStringLiteral("ALT+0");
        QTest::newRow("punctuation") << 0x2C << uint(ModifierFlags::Ctrl) << QStringLiteral("CTRL+slash");
        QTest::newRow("arrow") << 0x7B << uint(ModifierFlags::Super) << QStringLiteral("LOGO+Left");
        QTest::newRow("function key") << 0x6F << uint(ModifierFlags::Ctrl) << QStringLiteral("CTRL+F12");
        QTest::newRow("space") << 0x31 << uint(ModifierFlags::Alt) << QStringLiteral("ALT+space");
        QTest::newRow("keypad") << 0x57 << uint(ModifierFlags::Ctrl) << QStringLiteral("CTRL+KP_5");
        QTest::newRow("no modifier") << 0x7A << 0U << QStringLiteral("F1");
        QTest::newRow("a code with no key") << 0x7F << uint(ModifierFlags::Ctrl) << QString();
    }
    void triggersAreWrittenInThePortalsSyntax()
    {
        QFETCH(int, keyCode);
        QFETCH(uint, modifiers);
        QFETCH(QString, trigger);
        QCOMPARE(PortalTrigger::fromCombination(std::uint16_t(keyCode), modifiers), trigger);
    }

    void theFirstRegistrationBindsOneShortcutInOneSession_data()
    {
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<uint>("modifiers");
        QTest::addColumn<QVariantMap>("expected");
        const QString description = QStringLiteral("Show or hide the Quillnook panel");
        QTest::newRow("with a trigger") << 7 << uint(ctrlShift)
                                        << QVariantMap {
                                               {QStringLiteral("description"), description},
                                               {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+SHIFT+x")}};
        // The desktop then asks the user for one.
        QTest::newRow("a key with no keysym: no trigger")
            << 0x7F << uint(ctrlShift) << QVariantMap {{QStringLiteral("description"), description}};
    }
    void theFirstRegistrationBindsOneShortcutInOneSession()
    {
        QFETCH(int, keyCode);
        QFETCH(uint, modifiers);
        QFETCH(QVariantMap, expected);
        PortalHotkeyService service(m_clientBus);
        QSignalSpy owned(&service, &HotkeyService::desktopOwnsBindingChanged);
        QVERIFY(service.registerHotkey(std::uint16_t(keyCode), modifiers, 1));
        QTRY_COMPARE(m_portal.binds.size(), 1);
        QCOMPARE(m_portal.sessions.size(), 1);
        QCOMPARE(m_portal.binds.constFirst().size(), 1);
        QCOMPARE(m_portal.binds.constFirst().constFirst().id, QStringLiteral("toggle-panel"));
        QCOMPARE(m_portal.binds.constFirst().constFirst().properties, expected);
        QTRY_VERIFY(service.desktopOwnsBinding());
        QCOMPARE(owned.size(), 1);
        QCOMPARE(service.sessionHandle(), m_portal.sessions.constFirst());
    }

    void onlyActivationsOfOurShortcutInOurSessionArePresses()
    {
        PortalHotkeyService service(m_clientBus);
        QSignalSpy presses(&service, &HotkeyService::hotkeyPressed);
        const auto registration = service.registerHotkey(7, ctrlShift, 1);
        QTRY_VERIFY(service.desktopOwnsBinding());
        const QString session = service.sessionHandle();

        m_portal.emitActivated(session, QStringLiteral("toggle-panel"));
        QTRY_COMPARE(presses.size(), 1);
        QCOMPARE(presses.constFirst().constFirst().value<std::uint32_t>(), 1U);

        m_portal.emitActivated(session, QStringLiteral("another-shortcut"));
        m_portal.emitActivated(QStringLiteral("/org/freedesktop/portal/desktop/session/other/x"),
                               QStringLiteral("toggle-panel"));
        // While unregistered (a shortcut being recorded) presses are dropped.
        service.unregisterHotkey(*registration);
        m_portal.emitActivated(session, QStringLiteral("toggle-panel"));
        QVERIFY(m_portal.syncWith(m_clientBus));
        QCOMPARE(presses.size(), 1);

        // Registering again turns delivery back on without a second bind.
        QVERIFY(service.registerHotkey(7, ctrlShift, 2));
        m_portal.emitActivated(session, QStringLiteral("toggle-panel"));
        QTRY_COMPARE(presses.size(), 2);
        QCOMPARE(presses.constLast().constFirst().value<std::uint32_t>(), 2U);
        QCOMPARE(m_portal.sessions.size(), 1);
        QCOMPARE(m_portal.binds.size(), 1);
    }

    void aNewCombinationIsOfferedNextTimeAndThePressStillToggles()
    {
        QTemporaryDir dir;
        IniPreferences preferences(dir.filePath(QStringLiteral("Quillnook.conf")));
        PortalHotkeyService service(m_clientBus);
        HotkeyManager manager(service, preferences);
        int toggles = 0;
        manager.setOnToggle([&toggles] { ++toggles; });
        QSignalSpy owned(&manager, &HotkeyManager::desktopOwnsBindingChanged);
        QTRY_VERIFY(manager.desktopOwnsBinding());
        QCOMPARE(owned.size(), 1);

        manager.updateToggle(40, 0x120000);
        QCOMPARE(preferences.readInteger(QStringLiteral("toggleKeyCode"), 0, 0xFFFF).value_or(-1), std::int64_t(40));
        QVERIFY(m_portal.syncWith(m_clientBus));
        QCOMPARE(m_portal.binds.size(), 1);

        // The press is deferred to a later turn of the event loop, as on X11.
        m_portal.emitActivated(service.sessionHandle(), QStringLiteral("toggle-panel"));
        QTRY_COMPARE(toggles, 1);

        // The next run offers the new combination.
        PortalHotkeyService nextRun(m_clientBus);
        HotkeyManager nextManager(nextRun, preferences);
        QTRY_COMPARE(m_portal.binds.size(), 2);
        QCOMPARE(m_portal.binds.constLast().constFirst().properties.value(QStringLiteral("preferred_trigger")),
                 QVariant(QStringLiteral("CTRL+SHIFT+k")));
    }

    void aShortcutTheDesktopDidNotBindIsNotRegistered_data()
    {
        QTest::addColumn<uint>("response");
        QTest::newRow("the user cancels") << 1U;
        QTest::newRow("the desktop refuses") << 2U;
    }
    void aShortcutTheDesktopDidNotBindIsNotRegistered()
    {
        QFETCH(uint, response);
        m_portal.bindResponse = response;
        QTemporaryDir dir;
        IniPreferences preferences(dir.filePath(QStringLiteral("Quillnook.conf")));
        PortalHotkeyService service(m_clientBus);
        HotkeyManager manager(service, preferences);
        int toggles = 0;
        manager.setOnToggle([&toggles] { ++toggles; });
        QTRY_COMPARE(m_portal.binds.size(), 1);
        QTRY_COMPARE(m_portal.bindsAnswered, 1);
        QVERIFY(m_portal.syncWith(m_clientBus));
        QVERIFY(!manager.desktopOwnsBinding());
        m_portal.emitActivated(service.sessionHandle(), QStringLiteral("toggle-panel"));
        QVERIFY(m_portal.syncWith(m_clientBus));
        QCOMPARE(toggles, 0);
        // A combination recorded later is refused rather than pretended, and
        // nothing is bound again this run.
        QVERIFY(!manager.updateToggle(40, 0x120000));
        QVERIFY(manager.hasConflict());
        QVERIFY(m_portal.syncWith(m_clientBus));
        QCOMPARE(m_portal.binds.size(), 1);
        m_portal.bindResponse = 0;
    }

    // Last: it takes the fake off the bus. (The fake answers on this thread,
    // so a blocking probe of it would only time out here.)
    void withoutThePortalThereIsNoService()
    {
        QVERIFY(m_portalBus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop")));
        QVERIFY(!PortalHotkeyService::create(m_clientBus));
        QVERIFY(!PortalHotkeyService::create(QDBusConnection(QStringLiteral("not connected"))));
    }

private:
    PrivateSessionBus m_bus;
    QDBusConnection m_portalBus {QString()};
    QDBusConnection m_clientBus {QString()};
    FakePortal m_portal;
};

QTEST_GUILESS_MAIN(TestPortalHotkeyService)
#include "tst_portalhotkeyservice.moc"
