#include <memory>
#include <optional>

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "hotkey/HotkeyManager.h"
#include "keys/ModifierFlags.h"
#include "platform/HotkeyService.h"
#include "platform/IniPreferences.h"
#include "platform/gnome/GnomeShortcutSetup.h"
#include "platform/portal/PortalTrigger.h"
#include "support/EventLoopTurn.h"
#include "support/RecordingHotkeyService.h"

// GNOME's real keyboard schema and the real gsettings tool, over GLib's
// keyfile backend in a folder of the test's own.
class TestGnomeShortcutSetup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->path());
        m_env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("ubuntu:GNOME"));
        if (!gsettings({QStringLiteral("list-keys"), QLatin1String(GnomeShortcutSetup::ListSchema)}).has_value())
            QSKIP("GNOME's keyboard schema (gnome-settings-daemon-common) is not installed");
    }

    void theEntryIsAddedOnceAndOtherEntriesAreLeftAlone()
    {
        const QString terminal
            = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/");
        QVERIFY(
            gsettings({QStringLiteral("set"), entry(terminal), QStringLiteral("command"), QStringLiteral("'xterm'")})
                .has_value());
        QVERIFY(
            gsettings({QStringLiteral("set"), entry(terminal), QStringLiteral("binding"), QStringLiteral("'<Super>t'")})
                .has_value());
        setList({terminal});

        GnomeShortcutSetup setup(m_env);
        QCOMPARE(setup.desktopName(), QStringLiteral("GNOME"));
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::NotSetUp);

        // Ctrl+Shift+X, then again with Ctrl+Alt+K: one entry, updated.
        setup.setUp(7, ModifierFlags::Ctrl | ModifierFlags::Shift);
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::SetUp);
        setup.setUp(40, ModifierFlags::Ctrl | ModifierFlags::Alt);
        QTRY_COMPARE(setup.binding(), QStringLiteral("<Control><Alt>k"));

        const QString ours = QLatin1String(GnomeShortcutSetup::EntryPath);
        QCOMPARE(list(), (QStringList {terminal, ours}));
        QCOMPARE(get(entry(ours), QStringLiteral("name")), QStringLiteral("'Quillnook'"));
        QCOMPARE(get(entry(ours), QStringLiteral("command")), QStringLiteral("'quillnook --toggle'"));
        QCOMPARE(get(entry(ours), QStringLiteral("binding")), QStringLiteral("'<Control><Alt>k'"));
        QCOMPARE(get(entry(terminal), QStringLiteral("command")), QStringLiteral("'xterm'"));
        QCOMPARE(get(entry(terminal), QStringLiteral("binding")), QStringLiteral("'<Super>t'"));

        // A later start finds it; a newly recorded combination reaches it.
        GnomeShortcutSetup later(m_env);
        QTRY_COMPARE(later.state(), GnomeShortcutSetup::State::SetUp);
        QCOMPARE(later.binding(), QStringLiteral("<Control><Alt>k"));
        later.updateBinding(49, ModifierFlags::Super);
        QTRY_COMPARE(get(entry(ours), QStringLiteral("binding")), QStringLiteral("'<Super>space'"));
        QCOMPARE(list(), (QStringList {terminal, ours}));
    }

    void anEntryMadeByHandForTheCommandIsTheOneUsed()
    {
        const QString byHand
            = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom3/");
        QVERIFY(gsettings({QStringLiteral("set"), entry(byHand), QStringLiteral("name"), QStringLiteral("'Panel'")})
                    .has_value());
        QVERIFY(gsettings({QStringLiteral("set"), entry(byHand), QStringLiteral("command"),
                           QStringLiteral("'quillnook --toggle'")})
                    .has_value());
        setList({byHand});

        GnomeShortcutSetup setup(m_env);
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::SetUp);
        QCOMPARE(setup.entryPath(), byHand);
        setup.setUp(7, ModifierFlags::Ctrl | ModifierFlags::Shift);
        QTRY_COMPARE(get(entry(byHand), QStringLiteral("binding")), QStringLiteral("'<Shift><Control>x'"));
        QCOMPARE(list(), QStringList {byHand});
    }

    void aChangeMadeInGnomeSettingsIsTakenOver()
    {
        RecordingHotkeyService service;
        service.reachValue = HotkeyService::Reach::QuillnookWindows;
        IniPreferences preferences(m_home->filePath(QStringLiteral("Quillnook.conf")));
        HotkeyManager manager(service, preferences);
        GnomeShortcutSetup setup(m_env);
        manager.setDesktopSetup(&setup);
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::NotSetUp);
        manager.setUpInDesktop();
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::SetUp);
        const QString ours = entry(QLatin1String(GnomeShortcutSetup::EntryPath));
        QCOMPARE(get(ours, QStringLiteral("binding")), QStringLiteral("'<Shift><Control>x'"));

        // Given Super+Q in GNOME Settings: shown, stored, and Quillnook's own
        // grab moves along.
        QVERIFY(gsettings({QStringLiteral("set"), ours, QStringLiteral("binding"), QStringLiteral("'<Super>q'")})
                    .has_value());
        QTRY_COMPARE(manager.toggleKeyCode(), std::uint16_t(0x0C));
        QCOMPARE(manager.toggleModifiers(), std::uint64_t(ModifierFlags::Super));
        QCOMPARE(setup.binding(), QStringLiteral("<Super>q"));
        QCOMPARE(service.live.size(), std::size_t(1));
        QCOMPARE(service.live.begin()->second.keyCode, std::uint16_t(0x0C));
        QCOMPARE(service.live.begin()->second.modifiers, std::uint32_t(ModifierFlags::Super));
        QCOMPARE(preferences.readInteger(QStringLiteral("toggleKeyCode"), 0, 0xFFFF),
                 std::optional<std::int64_t>(0x0C));
        // Nothing was written back.
        QCOMPARE(get(ours, QStringLiteral("binding")), QStringLiteral("'<Super>q'"));

        // Disabled there: what Quillnook holds stays.
        QVERIFY(gsettings({QStringLiteral("set"), ours, QStringLiteral("binding"), QStringLiteral("''")}).has_value());
        QTRY_COMPARE(setup.binding(), QString());
        QCOMPARE(manager.toggleKeyCode(), std::uint16_t(0x0C));

        // Removed there: offered again, and set up again as one entry.
        setList({});
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::NotSetUp);
        manager.setUpInDesktop();
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::SetUp);
        QCOMPARE(list(), QStringList {QLatin1String(GnomeShortcutSetup::EntryPath)});
        QCOMPARE(get(ours, QStringLiteral("binding")), QStringLiteral("'<Super>q'"));
    }

    void gnomeBindingsReadBack_data()
    {
        QTest::addColumn<QString>("binding");
        QTest::addColumn<int>("keyCode"); // -1: not taken
        QTest::addColumn<uint>("modifiers");
        QTest::newRow("as Quillnook writes it")
            << QStringLiteral("<Shift><Control>x") << 7 << uint(ModifierFlags::Shift | ModifierFlags::Ctrl);
        QTest::newRow("as GNOME Settings writes it")
            << QStringLiteral("<Primary><Alt>k") << 40 << uint(ModifierFlags::Ctrl | ModifierFlags::Alt);
        QTest::newRow("a shifted capital")
            << QStringLiteral("<Shift><Ctrl>X") << 7 << uint(ModifierFlags::Shift | ModifierFlags::Ctrl);
        QTest::newRow("a named key") << QStringLiteral("<Super>space") << 49 << uint(ModifierFlags::Super);
        QTest::newRow("a function key") << QStringLiteral("<Mod4>F5") << 0x60 << uint(ModifierFlags::Super);
        QTest::newRow("disabled") << QString() << -1 << 0U;
        QTest::newRow("a modifier we cannot hold") << QStringLiteral("<Hyper>x") << -1 << 0U;
        QTest::newRow("an unknown key") << QStringLiteral("<Control>XF86Launch9") << -1 << 0U;
        QTest::newRow("unclosed") << QStringLiteral("<Control") << -1 << 0U;
    }
    void gnomeBindingsReadBack()
    {
        QFETCH(QString, binding);
        QFETCH(int, keyCode);
        QFETCH(uint, modifiers);
        const auto found = PortalTrigger::combinationFromGtkAccelerator(binding);
        QCOMPARE(found.has_value(), keyCode >= 0);
        if (!found)
            return;
        QCOMPARE(int(found->first), keyCode);
        QCOMPARE(found->second, modifiers);
        // And our own text of it is read the same way.
        QCOMPARE(PortalTrigger::combinationFromGtkAccelerator(PortalTrigger::gtkAccelerator(found->first, modifiers)),
                 found);
    }

    void onlyAGnomeSessionIsOffered()
    {
        m_env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("XFCE"));
        GnomeShortcutSetup setup(m_env);
        QCOMPARE(setup.state(), GnomeShortcutSetup::State::Unavailable);
        setup.setUp(7, ModifierFlags::Ctrl);
        QVERIFY(passEventLoop());
        QCOMPARE(list(), QStringList {});
    }

    void aKeyGnomeCannotNameIsRefusedWithWhy()
    {
        GnomeShortcutSetup setup(m_env);
        QTRY_COMPARE(setup.state(), GnomeShortcutSetup::State::NotSetUp);
        setup.setUp(0xFFF, ModifierFlags::Ctrl);
        QCOMPARE(setup.state(), GnomeShortcutSetup::State::Failed);
        QVERIFY(!setup.errorText().isEmpty());
        QCOMPARE(list(), QStringList {});
    }

    void pathListsSurviveTheTextForm()
    {
        const QStringList paths {QStringLiteral("/a/"), QStringLiteral("/it's/")};
        QCOMPARE(GnomeShortcutSetup::parsePathList(GnomeShortcutSetup::pathListText(paths)), paths);
        QCOMPARE(GnomeShortcutSetup::parsePathList(QStringLiteral("@as []")), QStringList {});
    }

private:
    static QString entry(const QString& path) { return QLatin1String(GnomeShortcutSetup::EntrySchema) + u':' + path; }

    // Nothing when the tool failed.
    std::optional<QString> gsettings(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(QStringLiteral("gsettings"), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    QString get(const QString& schema, const QString& key)
    {
        return gsettings({QStringLiteral("get"), schema, key}).value_or(QStringLiteral("(failed)"));
    }
    QStringList list()
    {
        return GnomeShortcutSetup::parsePathList(
            get(QLatin1String(GnomeShortcutSetup::ListSchema), QStringLiteral("custom-keybindings")));
    }
    void setList(const QStringList& paths)
    {
        QVERIFY(gsettings({QStringLiteral("set"), QLatin1String(GnomeShortcutSetup::ListSchema),
                           QStringLiteral("custom-keybindings"), GnomeShortcutSetup::pathListText(paths)})
                    .has_value());
    }

    std::unique_ptr<QTemporaryDir> m_home;
    QProcessEnvironment m_env;
};

QTEST_GUILESS_MAIN(TestGnomeShortcutSetup)
#include "tst_gnomeshortcutsetup.moc"
