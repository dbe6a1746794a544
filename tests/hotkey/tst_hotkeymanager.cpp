#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "hotkey/HotkeyManager.h"
#include "platform/IniPreferences.h"
#include "support/RecordingHotkeyService.h"

class TestHotkeyManager : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_prefsPath = m_dir->filePath(QStringLiteral("Quillnook.conf"));
    }

    void readsTheStoredCombination_data()
    {
        QTest::addColumn<QString>("storedKeyCode");
        QTest::addColumn<QString>("storedModifiers");
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<qulonglong>("modifiers");
        QTest::addColumn<uint>("mask");
        const QString none;
        QTest::newRow("nothing stored") << none << none << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("only modifiers") << none << QStringLiteral("262144") << 7 << 0x40000ULL << 0x40000U;
        QTest::newRow("both") << QStringLiteral("40") << QStringLiteral("1572864") << 40 << 0x180000ULL << 0x180000U;
        QTest::newRow("key code as text") << QStringLiteral("abc") << none << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("key code with fraction") << QStringLiteral("1.5") << none << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("key code too large") << QStringLiteral("65536") << none << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("largest key code") << QStringLiteral("65535") << none << 65535 << 0x120000ULL << 0x120000U;
        QTest::newRow("negative key code") << QStringLiteral("-1") << none << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("negative modifiers") << none << QStringLiteral("-5") << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("modifiers as text") << none << QStringLiteral("shift") << 7 << 0x120000ULL << 0x120000U;
        // Caps lock (0x10000) and function (0x800000) bits are kept but never registered.
        QTest::newRow("extra bits") << none << QStringLiteral("9764864") << 7 << 0x950000ULL << 0x140000U;
        // Without Ctrl, Alt or Super the shortcut would take a plain key from
        // the whole desktop: the default applies, key and modifiers alike.
        QTest::newRow("bare letter") << QStringLiteral("40") << QStringLiteral("0") << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("shift alone") << QStringLiteral("40") << QStringLiteral("131072") << 7 << 0x120000ULL
                                     << 0x120000U;
        QTest::newRow("only locks and function") << none << QStringLiteral("10551296") << 7 << 0x120000ULL << 0x120000U;
        QTest::newRow("all four") << QStringLiteral("49") << QStringLiteral("1966080") << 49 << 0x1E0000ULL
                                  << 0x1E0000U;
    }
    void readsTheStoredCombination()
    {
        QFETCH(QString, storedKeyCode);
        QFETCH(QString, storedModifiers);
        QFETCH(int, keyCode);
        QFETCH(qulonglong, modifiers);
        QFETCH(uint, mask);
        {
            IniPreferences seed(m_prefsPath);
            if (!storedKeyCode.isNull())
                seed.setValue(QStringLiteral("toggleKeyCode"), storedKeyCode);
            if (!storedModifiers.isNull())
                seed.setValue(QStringLiteral("toggleModifiers"), storedModifiers);
        }
        const QByteArray before = fileBytes();

        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        HotkeyManager manager(service, prefs);
        QCOMPARE(manager.toggleKeyCode(), keyCode);
        QCOMPARE(manager.toggleModifiers(), modifiers);
        QCOMPARE(service.live.size(), size_t(1));
        const auto& registered = service.live.begin()->second;
        QCOMPARE(registered.keyCode, keyCode);
        QCOMPARE(registered.modifiers, mask);
        QCOMPARE(registered.id, HotkeyManager::HotKeyId);
        // Reading never writes anything back.
        QCOMPARE(fileBytes(), before);
    }

    void aPressTogglesOnALaterTurnOfTheEventLoop()
    {
        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        HotkeyManager manager(service, prefs);
        int toggles = 0;

        // Before onToggle is set a press does nothing, and nothing breaks.
        service.press(7, 0x120000);
        QCoreApplication::processEvents();
        QCOMPARE(toggles, 0);

        manager.setOnToggle([&toggles] { ++toggles; });
        service.press(7, 0x120000);
        QCOMPARE(toggles, 0);
        QTRY_COMPARE(toggles, 1);

        // Only id 1 counts.
        service.pressRawId(2);
        QCoreApplication::processEvents();
        QCOMPARE(toggles, 1);

        // onToggle is read when the deferred task runs, not when the key is pressed.
        int replaced = 0;
        service.press(7, 0x120000);
        manager.setOnToggle([&replaced] { ++replaced; });
        QTRY_COMPARE(replaced, 1);
        QCOMPARE(toggles, 1);
    }

    void aPendingToggleDiesWithTheManager()
    {
        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        int toggles = 0;
        {
            HotkeyManager manager(service, prefs);
            manager.setOnToggle([&toggles] { ++toggles; });
            service.press(7, 0x120000);
        }
        QCOMPARE(service.live.size(), size_t(0));
        QCoreApplication::processEvents();
        QCOMPARE(toggles, 0);
        // The handler is gone too.
        service.pressRawId(1);
        QCoreApplication::processEvents();
        QCOMPARE(toggles, 0);
    }

    void updateToggleStoresAndRegistersAgain()
    {
        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        HotkeyManager manager(service, prefs);
        int toggles = 0;
        manager.setOnToggle([&toggles] { ++toggles; });
        QSignalSpy keyChanged(&manager, &HotkeyManager::toggleKeyCodeChanged);
        QSignalSpy modifiersChanged(&manager, &HotkeyManager::toggleModifiersChanged);

        manager.updateToggle(40, 0x130000); // caps lock goes along unmasked
        QCOMPARE(keyChanged.count(), 1);
        QCOMPARE(modifiersChanged.count(), 1);
        QCOMPARE(prefs.value(QStringLiteral("toggleKeyCode")), QStringLiteral("40"));
        QCOMPARE(prefs.value(QStringLiteral("toggleModifiers")), QStringLiteral("1245184"));
        QCOMPARE(service.live.size(), size_t(1));
        QCOMPARE(service.live.begin()->second.modifiers, 0x120000U);

        // The old combination no longer toggles; the new one does.
        service.press(7, 0x120000);
        QCoreApplication::processEvents();
        QCOMPARE(toggles, 0);
        service.press(40, 0x120000);
        QTRY_COMPARE(toggles, 1);

        // The same combination again: still exactly one registration.
        manager.updateToggle(40, 0x130000);
        QCOMPARE(service.live.size(), size_t(1));
        QVERIFY(manager.isRegistered());

        // The next start reads what was stored.
        IniPreferences reread(m_prefsPath);
        RecordingHotkeyService second;
        HotkeyManager next(second, reread);
        QCOMPARE(next.toggleKeyCode(), 40);
        QCOMPARE(next.toggleModifiers(), 0x130000ULL);
    }

    void aTakenCombinationChangesNothing()
    {
        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        service.taken.insert({11, 0x140000});
        HotkeyManager manager(service, prefs);
        int toggles = 0;
        manager.setOnToggle([&toggles] { ++toggles; });
        QSignalSpy conflict(&manager, &HotkeyManager::conflictChanged);
        QVERIFY(manager.isRegistered());
        QVERIFY(!manager.hasConflict());

        QVERIFY(!manager.updateToggle(11, 0x140000));
        // The working shortcut stays registered, shown and stored.
        QCOMPARE(manager.toggleKeyCode(), 7);
        QCOMPARE(manager.toggleModifiers(), 0x120000ULL);
        QVERIFY(!prefs.value(QStringLiteral("toggleKeyCode")).has_value());
        QVERIFY(manager.isRegistered());
        QCOMPARE(service.live.size(), size_t(1));
        service.press(7, 0x120000);
        QTRY_COMPARE(toggles, 1);
        QVERIFY(manager.hasConflict());
        QCOMPARE(conflict.count(), 1);

        // A free one clears the conflict.
        QVERIFY(manager.updateToggle(12, 0x140000));
        QVERIFY(!manager.hasConflict());
        QCOMPARE(service.live.size(), size_t(1));
        QCOMPARE(service.live.begin()->second.keyCode, 12);
    }

    void theNewGrabComesBeforeTheOldIsReleased()
    {
        // A service that refuses to be without a grab shows the order.
        struct Watching : RecordingHotkeyService
        {
            void unregisterHotkey(Registration registration) override
            {
                emptied = emptied || live.size() == 1;
                RecordingHotkeyService::unregisterHotkey(registration);
            }
            bool emptied = false;
        };
        IniPreferences prefs(m_prefsPath);
        Watching service;
        HotkeyManager manager(service, prefs);
        QVERIFY(manager.updateToggle(40, 0x120000));
        QVERIFY(!service.emptied);
        QCOMPARE(service.live.size(), size_t(1));
    }

    void aStoredCombinationThatIsTakenIsAConflict()
    {
        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        service.taken.insert({7, 0x120000});
        HotkeyManager manager(service, prefs);
        QVERIFY(!manager.isRegistered());
        QVERIFY(manager.hasConflict());
    }

    void aSuspendedShortcutStaysHeldButDoesNotToggle()
    {
        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        service.taken.insert({11, 0x120000});
        HotkeyManager manager(service, prefs);
        int toggles = 0;
        manager.setOnToggle([&toggles] { ++toggles; });
        QSignalSpy handedOn(&manager, &HotkeyManager::pressedWhileSuspended);
        manager.setSuspended(true);
        QCOMPARE(service.live.size(), size_t(1));
        service.press(7, 0x120000);
        QCOMPARE(handedOn.count(), 1);

        // A combination chosen meanwhile is taken before the old one goes.
        QVERIFY(manager.updateToggle(40, 0x120000));
        QCOMPARE(service.live.size(), size_t(1));
        QCOMPARE(service.live.begin()->second.keyCode, 40);
        // A refused one leaves the old one held, and the conflict shown.
        QVERIFY(!manager.updateToggle(11, 0x120000));
        QCOMPARE(service.live.begin()->second.keyCode, 40);
        QVERIFY(manager.hasConflict());

        manager.setSuspended(false);
        QCoreApplication::processEvents();
        QCOMPARE(toggles, 0);
        service.press(40, 0x120000);
        QTRY_COMPARE(toggles, 1);
        QCOMPARE(handedOn.count(), 1);
    }

    void settingThePropertiesAloneNeitherStoresNorRegisters()
    {
        IniPreferences prefs(m_prefsPath);
        RecordingHotkeyService service;
        HotkeyManager manager(service, prefs);
        const int calls = service.registerCalls;
        QSignalSpy keyChanged(&manager, &HotkeyManager::toggleKeyCodeChanged);
        manager.setToggleKeyCode(12);
        manager.setToggleModifiers(0x40000);
        QCOMPARE(keyChanged.count(), 1);
        QCOMPARE(service.registerCalls, calls);
        QVERIFY(!prefs.value(QStringLiteral("toggleKeyCode")).has_value());
    }

private:
    QByteArray fileBytes() const
    {
        QFile file(m_prefsPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_prefsPath;
};

QTEST_GUILESS_MAIN(TestHotkeyManager)
#include "tst_hotkeymanager.moc"
