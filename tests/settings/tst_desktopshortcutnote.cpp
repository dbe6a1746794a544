#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "platform/gnome/GnomeShortcutSetup.h"
#include "settings/DesktopShortcutNote.h"
#include "settings/SettingsView.h"
#include "support/SettingsFixture.h"

// What the settings page says under the shortcut about how far it reaches,
// with GNOME's real keyboard schema behind "Set Up in GNOME Settings".
class TestDesktopShortcutNote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void aGlobalShortcutNeedsNoNote()
    {
        SettingsFixture fixture;
        SettingsView page(fixture.hotkeyManager, fixture.panelSettings);
        QVERIFY(note(page)->isHidden());
    }

    void withNothingGlobalThePageShowsTheCommandToBind()
    {
        SettingsFixture fixture;
        fixture.service.setReach(HotkeyService::Reach::Nowhere);
        SettingsView page(fixture.hotkeyManager, fixture.panelSettings);
        page.show();
        QVERIFY(note(page)->isVisible());
        QVERIFY(note(page)->textLabel()->text().contains(QStringLiteral("no global shortcut")));
        QCOMPARE(note(page)->commandLabel()->text(), QStringLiteral("quillnook --toggle"));
        QVERIFY(note(page)->commandLabel()->isVisible());
        QCOMPARE(note(page)->textLabel()->accessibleName(), note(page)->textLabel()->text());
        QVERIFY(!note(page)->setUpButton()->isVisible());

        // A better way turning up later (the desktop answered on the bus).
        fixture.service.setReach(HotkeyService::Reach::Everywhere);
        QVERIFY(note(page)->isHidden());
    }

    void gnomeSetUpTurnsAFocusOnlyShortcutGlobal()
    {
        QTemporaryDir config;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
        GnomeShortcutSetup setup(env);
        QTRY_VERIFY(setup.state() != GnomeShortcutSetup::State::Checking);
        if (setup.state() == GnomeShortcutSetup::State::Unavailable)
            QSKIP("GNOME's keyboard schema (gnome-settings-daemon-common) is not installed");

        SettingsFixture fixture;
        fixture.service.setReach(HotkeyService::Reach::QuillnookWindows);
        fixture.hotkeyManager.setDesktopSetup(&setup);
        SettingsView page(fixture.hotkeyManager, fixture.panelSettings);
        page.show();
        auto* button = note(page)->setUpButton();
        QCOMPARE(note(page)->textLabel()->text(),
                 QStringLiteral("This shortcut works only while Quillnook is focused in this session."));
        QVERIFY(button->isVisible());
        QCOMPARE(button->text(), QStringLiteral("Set Up in GNOME Settings"));
        QVERIFY(!note(page)->commandLabel()->isVisible());

        button->click();
        QTRY_VERIFY(note(page)->textLabel()->text().startsWith(QStringLiteral("GNOME handles this shortcut")));
        QVERIFY(!button->isVisible());
        QCOMPARE(setup.binding(), QStringLiteral("<Shift><Control>x"));

        // A combination recorded later reaches GNOME's entry.
        QVERIFY(fixture.hotkeyManager.updateToggle(40, 0x140000)); // Ctrl+Super+K
        QTRY_COMPARE(setup.binding(), QStringLiteral("<Control><Super>k"));
        QProcess get;
        get.setProcessEnvironment(env);
        get.start(QStringLiteral("gsettings"),
                  {QStringLiteral("get"), QLatin1String(GnomeShortcutSetup::ListSchema),
                   QStringLiteral("custom-keybindings")});
        QVERIFY(get.waitForFinished(30000));
        QCOMPARE(GnomeShortcutSetup::parsePathList(QString::fromUtf8(get.readAllStandardOutput())),
                 QStringList {QLatin1String(GnomeShortcutSetup::EntryPath)});
    }

private:
    static DesktopShortcutNote* note(const SettingsView& page)
    {
        auto* found = page.findChild<DesktopShortcutNote*>();
        Q_ASSERT(found);
        return found;
    }
};

QTEST_MAIN(TestDesktopShortcutNote)
#include "tst_desktopshortcutnote.moc"
