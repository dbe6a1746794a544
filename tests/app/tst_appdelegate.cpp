// The application delegate in-process: what launching builds, the panel
// toggle, opacity kept in step, saving on the way out and revealing the notes
// file through the desktop's file manager.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/AppDelegate.h"
#include "app/ContentView.h"
#include "app/FloatingPanel.h"
#include "app/StatusItem.h"
#include "notes/NotesBanner.h"
#include "platform/FileManager.h"
#include "platform/IniPreferences.h"
#include "platform/PanelWindowHints.h"
#include "support/RecordingHotkeyService.h"

// A tray's watcher on the session bus, with a host registered.
class TrayWatcherPeer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered()
    {
        ++asked;
        return true;
    }
    int asked = 0;
};

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_prefs.emplace(m_dir->filePath(QStringLiteral("Quillnook.conf")));
    }

    void cleanup()
    {
        m_delegate.reset();
        m_prefs.reset();
    }

    void launchingBuildsTheTrayAndShowsThePanel()
    {
        m_prefs->setValue(QStringLiteral("panelOpacity"), QStringLiteral("0.6"));
        makeDelegate();
        // Made before launch: the shortcut is registered, the panel is not there yet.
        QCOMPARE(m_hotkeys.live.size(), size_t(1));
        QVERIFY(!m_delegate->panel());
        QVERIFY(!m_delegate->statusItem());

        m_delegate->applicationDidFinishLaunching();
        QVERIFY(m_delegate->statusItem());
        FloatingPanel* panel = m_delegate->panel();
        QVERIFY(panel);
        QVERIFY(panel->isShownOnScreen());
        QVERIFY(qAbs(panel->windowOpacity() - 0.6) <= 1.0 / 255);
        QVERIFY(panel->minimumWidth() >= 260 && panel->minimumHeight() >= 240);
    }

    void theShortcutAndTheMenuToggleTheSamePanel()
    {
        makeDelegate();
        m_delegate->applicationDidFinishLaunching();
        FloatingPanel* panel = m_delegate->panel();

        m_hotkeys.press(7, 0x120000);
        QTRY_VERIFY(!panel->isVisible());
        m_delegate->statusItem()->toggleAction()->trigger();
        QVERIFY(panel->isShownOnScreen());
        m_delegate->statusItem()->toggleAction()->trigger();
        QVERIFY(!panel->isVisible());

        // Closed with its own button, it comes back on the next toggle: the same window.
        m_hotkeys.press(7, 0x120000);
        QTRY_VERIFY(panel->isVisible());
        panel->closeButton()->click();
        QVERIFY(!panel->isVisible());
        m_hotkeys.press(7, 0x120000);
        QTRY_VERIFY(panel->isShownOnScreen());
        QCOMPARE(m_delegate->panel(), panel);

        // Minimised counts as hidden too.
        panel->showMinimized();
        m_delegate->toggleFrontPanelAction();
        QTRY_VERIFY(panel->isShownOnScreen());
    }

    void theOpacityFollowsTheSettingsAtOnce()
    {
        makeDelegate();
        m_delegate->applicationDidFinishLaunching();
        // Qt keeps a window's opacity in 1/255 steps.
        m_delegate->panelSettings().setOpacity(0.85);
        QVERIFY(qAbs(m_delegate->panel()->windowOpacity() - 0.85) <= 1.0 / 255);
        m_delegate->panelSettings().setOpacity(0.3);
        QVERIFY(qAbs(m_delegate->panel()->windowOpacity() - 0.3) <= 1.0 / 255);
    }

    void revealAsksTheFileManagerToSelectTheNotesFile()
    {
        NullFileManager fileManager;
        makeDelegate();
        m_delegate->setFileManager(&fileManager);
        m_delegate->applicationDidFinishLaunching();
        // The file was never written; the file manager is asked all the same.
        m_delegate->revealNotesFile();
        QCOMPARE(fileManager.shown, QStringList {m_delegate->notesStore().filePath()});
    }

    // Last: it runs the application's event loop to its end.
    void quitFromTheMenuSavesTheNotes()
    {
        makeDelegate();
        m_delegate->applicationDidFinishLaunching();
        m_delegate->notesStore().setText(QStringLiteral("last words"));
        QVERIFY(m_delegate->notesStore().isSavePending());
        m_delegate->statusItem()->quitAction()->trigger();
        // A guard, should the quit never arrive.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QFile file(m_delegate->notesStore().filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("last words"));
    }

    void aStartWithoutATrayShowsTheNoticeOnce()
    {
        // The test's session bus has no tray watcher, as on stock GNOME.
        makeDelegate();
        m_delegate->applicationDidFinishLaunching();
        m_delegate->lookForTray();
        auto* content = qobject_cast<ContentView*>(m_delegate->panel()->contentView());
        QVERIFY(content);
        QTRY_VERIFY(!content->notice()->text().isEmpty());
        const QString notice = content->notice()->text();
        QVERIFY2(notice.contains(QStringLiteral("Ctrl+Shift+X")), qPrintable(notice));
        QVERIFY2(notice.contains(QStringLiteral("applications menu")), qPrintable(notice));
        QCOMPARE(content->notice()->accessibleName(), notice);
        content->notice()->dismissButton()->click();
        QVERIFY(content->notice()->text().isEmpty());

        // The next start says nothing: the notice is shown once.
        m_delegate.reset();
        makeDelegate();
        m_delegate->applicationDidFinishLaunching();
        m_delegate->lookForTray();
        content = qobject_cast<ContentView*>(m_delegate->panel()->contentView());
        QCoreApplication::processEvents();
        QVERIFY(content->notice()->text().isEmpty());
        QCOMPARE(m_prefs->readInteger(QStringLiteral("noTrayNoticeShown"), 0, 1), std::optional<std::int64_t>(1));
    }

    void aTrayOnTheBusMeansNoNotice()
    {
        TrayWatcherPeer watcher;
        QDBusConnection bus = QDBusConnection::sessionBus();
        makeDelegate();
        m_delegate->applicationDidFinishLaunching();
        QVERIFY(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QVERIFY(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllProperties));
        QSignalSpy lookedUp(m_delegate.get(), &AppDelegate::trayLookedUp);
        m_delegate->lookForTray();
        QTRY_COMPARE(lookedUp.size(), 1);
        QCOMPARE(lookedUp.at(0).at(0).toBool(), true);
        QCOMPARE(watcher.asked, 1);
        QVERIFY(!qobject_cast<ContentView*>(m_delegate->panel()->contentView())->notice()->isVisible());
        QCOMPARE(m_prefs->readInteger(QStringLiteral("noTrayNoticeShown"), 0, 1), std::nullopt);
        bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        QVERIFY(bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    }

private:
    void makeDelegate() { m_delegate = std::make_unique<AppDelegate>(m_hotkeys, *m_prefs, m_hints, m_dir->path()); }

    std::optional<QTemporaryDir> m_dir;
    std::optional<IniPreferences> m_prefs;
    RecordingHotkeyService m_hotkeys;
    NullPanelWindowHints m_hints;
    std::unique_ptr<AppDelegate> m_delegate;
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
