// The toggle shortcut on real desktops, pressed the way a person would while
// another program's window has the keyboard. Run inside a session started by
// tests/support/desktop-session.sh, which names it in QUILLNOOK_SESSION;
// each case belongs to one session and skips in the others.
#include <csignal>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/AccessibleTree.h"
#include "support/X11TestClient.h"
#include "support/X11Tools.h"

#include <sys/prctl.h>

using namespace X11Tools;

namespace {
const QString listSchema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString entrySchema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
const QString entriesFolder = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
const QString setUpButton = QStringLiteral("Set Up in GNOME Settings");
const QString focusedOnly = QStringLiteral("This shortcut works only while Quillnook is focused");
const QString handledByGnome = QStringLiteral("GNOME handles this shortcut");
const QString otherTitle = QStringLiteral("Another program");
// X11's modifier masks, as GNOME Shell reports keybindings by them.
constexpr int ShiftMask = 1, ControlMask = 4, AltMask = 8;

QString output(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(30000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString gsettings(const QStringList& args)
{
    return output(QStringLiteral("gsettings"), args);
}

// GSettings' text form of a list of strings.
QStringList stringList(const QString& text)
{
    QStringList items;
    for (QString item : text.mid(text.indexOf(u'[') + 1).chopped(1).split(u',', Qt::SkipEmptyParts)) {
        item = item.trimmed();
        items << item.mid(1, item.size() - 2);
    }
    return items;
}
} // namespace

// Counts a D-Bus signal.
class PressCounter : public QObject
{
    Q_OBJECT

public slots:
    void pressed(const QString& component, const QString& action, qlonglong)
    {
        if (component == QLatin1String("quillnook") && action == QLatin1String("toggle-panel"))
            ++count;
    }

public:
    int count = 0;
};

class TestShortcutDesktops : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_session = qEnvironmentVariable("QUILLNOOK_SESSION");
        QVERIFY2(!m_session.isEmpty(), "run inside tests/support/desktop-session.sh");
        m_binary = qEnvironmentVariable("QUILLNOOK_BINARY");
        QVERIFY2(QFile::exists(m_binary), "QUILLNOOK_BINARY must name the built program");
        QVERIFY(QDir::home().mkpath(QStringLiteral("Documents")));
    }

    void cleanup()
    {
        endProgram(m_other);
        endProgram(m_process);
        QDBusConnection::disconnectFromBus(QStringLiteral("a11y"));
    }

    // Before set-up the combination does nothing while a Wayland window has
    // the keyboard, and the page says why; "Set Up in GNOME Settings" makes
    // it work there; a change made in GNOME's settings is shown and used;
    // setting it up again after it was removed there leaves one entry.
    void gnomeOnWayland()
    {
        if (m_session != QLatin1String("gnome-wayland"))
            QSKIP("a GNOME Shell Wayland case");
        // A shortcut of the test's own tells when GNOME has handled the
        // keys pressed before it.
        const QString probe = entriesFolder + QStringLiteral("probe/");
        const QString probeFile = QDir::home().filePath(QStringLiteral("probe-pressed"));
        gsettings(
            {QStringLiteral("set"), entrySchema + u':' + probe, QStringLiteral("name"), QStringLiteral("'Probe'")});
        gsettings({QStringLiteral("set"), entrySchema + u':' + probe, QStringLiteral("command"),
                   QStringLiteral("'touch %1'").arg(probeFile)});
        gsettings({QStringLiteral("set"), entrySchema + u':' + probe, QStringLiteral("binding"),
                   QStringLiteral("'<Super><Alt>F12'")});
        gsettings({QStringLiteral("set"), listSchema, QStringLiteral("custom-keybindings"),
                   QStringLiteral("['%1']").arg(probe)});
        const auto pressAndSettle = [&](const QStringList& keys) {
            QFile::remove(probeFile);
            QVERIFY(shellPress(keys));
            QVERIFY(shellPress({QStringLiteral("Super_L"), QStringLiteral("Alt_L"), QStringLiteral("F12")}));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(probeFile), 20000);
        };
        const QStringList ctrlShiftX {QStringLiteral("Control_L"), QStringLiteral("Shift_L"), QStringLiteral("x")};

        startQuillnook();
        QVERIFY(m_tree.connect(QDBusConnection::sessionBus(), QStringLiteral("a11y")));
        QTRY_VERIFY_WITH_TIMEOUT(m_tree.findApplication(QStringLiteral("Quillnook")), 20000);
        openSettings();
        QTRY_VERIFY_WITH_TIMEOUT(m_tree.showing(focusedOnly).has_value(), 20000);
        QVERIFY(m_tree.showing(setUpButton).has_value());

        // Not set up: pressed over a Wayland window, nothing happens.
        focusOtherProgram();
        const bool shown = isViewable(m_panel);
        pressAndSettle(ctrlShiftX);
        QCOMPARE(isViewable(m_panel), shown);
        QCOMPARE(quillnookEntries(), QStringList {});

        // Set up from the page: the same press shows and hides the panel.
        setUpFromThePage();
        QTRY_VERIFY_WITH_TIMEOUT(m_tree.showing(handledByGnome).has_value(), 20000);
        QCOMPARE(quillnookEntries().size(), 1);
        const QString ours = entrySchema + u':' + quillnookEntries().constFirst();
        QCOMPARE(gsettings({QStringLiteral("get"), ours, QStringLiteral("binding")}),
                 QStringLiteral("'<Shift><Control>x'"));
        QTRY_VERIFY_WITH_TIMEOUT(shellHolds(53, ShiftMask | ControlMask), 20000);
        focusOtherProgram();
        for (int i = 0; i < 2; ++i) {
            const bool before = isViewable(m_panel);
            QVERIFY(shellPress(ctrlShiftX));
            QTRY_VERIFY_WITH_TIMEOUT(isViewable(m_panel) != before, 20000);
        }

        // Changed in GNOME Settings: the page shows it, the new keys work.
        gsettings({QStringLiteral("set"), ours, QStringLiteral("binding"), QStringLiteral("'<Primary><Alt>k'")});
        const QStringList ctrlAltK {QStringLiteral("Control_L"), QStringLiteral("Alt_L"), QStringLiteral("k")};
        QTRY_VERIFY_WITH_TIMEOUT(shellHolds(45, ControlMask | AltMask), 20000);
        focusOtherProgram();
        for (int i = 0; i < 2 || !isViewable(m_panel); ++i) {
            QVERIFY(i < 4);
            const bool before = isViewable(m_panel);
            QVERIFY(shellPress(ctrlAltK));
            QTRY_VERIFY_WITH_TIMEOUT(isViewable(m_panel) != before, 20000);
        }
        openSettings();
        QTRY_VERIFY_WITH_TIMEOUT(m_tree.showing(QStringLiteral("Ctrl+Alt+K")).has_value(), 20000);
        const QString conf = QDir::home().filePath(QStringLiteral(".config/Quillnook/Quillnook.conf"));
        QFile stored(conf);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY2(stored.readAll().contains("toggleKeyCode=40"), qPrintable(conf));

        // Removed there, as GNOME Settings does, and set up again: one entry,
        // with the combination Quillnook now holds.
        QStringList left
            = stringList(gsettings({QStringLiteral("get"), listSchema, QStringLiteral("custom-keybindings")}));
        left.removeAll(quillnookEntries().constFirst());
        gsettings({QStringLiteral("set"), listSchema, QStringLiteral("custom-keybindings"),
                   QStringLiteral("['%1']").arg(left.join(QStringLiteral("', '")))});
        QTRY_VERIFY_WITH_TIMEOUT(m_tree.showing(setUpButton).has_value(), 20000);
        setUpFromThePage();
        QTRY_VERIFY_WITH_TIMEOUT(m_tree.showing(handledByGnome).has_value(), 20000);
        QCOMPARE(quillnookEntries().size(), 1);
        QCOMPARE(gsettings({QStringLiteral("get"), entrySchema + u':' + quillnookEntries().constFirst(),
                            QStringLiteral("binding")}),
                 QStringLiteral("'<Control><Alt>k'"));
        QVERIFY(stringList(gsettings({QStringLiteral("get"), listSchema, QStringLiteral("custom-keybindings")}))
                    .contains(probe));
    }

    // Registered through Plasma's global-shortcut service, the combination
    // pressed while another window has the keyboard reaches Quillnook's
    // action there, not an X11 grab of Quillnook's own, and shows or hides
    // the panel every time.
    void kwinOnX11()
    {
        if (m_session != QLatin1String("kwin-x11"))
            QSKIP("a KWin case");
        startQuillnook();
        // Plasma's service holds the combination for the component
        // "quillnook", and holds the key on the X server.
        QTRY_VERIFY_WITH_TIMEOUT(kglobalaccelHoldsCtrlShiftX(), 30000);
        X11TestClient client;
        QVERIFY(client.isConnected());
        const auto ctrlShift = std::uint16_t(X11TestClient::ControlBit | X11TestClient::ShiftBit);
        QTRY_VERIFY_WITH_TIMEOUT(!canGrab(client, 53, ctrlShift), 20000);
        PressCounter presses;
        QVERIFY(QDBusConnection::sessionBus().connect(
            QString(), QString(), QStringLiteral("org.kde.kglobalaccel.Component"),
            QStringLiteral("globalShortcutPressed"), &presses, SLOT(pressed(QString, QString, qlonglong))));
        m_other.start(QStringLiteral("xmessage"), {QStringLiteral("-title"), otherTitle, otherTitle});
        QVERIFY(m_other.waitForStarted());
        const QString other = waitForViewableWindow(QStringLiteral("xmessage"), otherTitle, 20000);
        QVERIFY(!other.isEmpty());
        for (int round = 1; round <= 4; ++round) {
            QVERIFY(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), other}));
            QTRY_VERIFY_WITH_TIMEOUT(sameWindow(focusedWindow(), other), 10000);
            const bool shown = isViewable(m_panel);
            QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+x")}));
            QTRY_COMPARE_WITH_TIMEOUT(presses.count, round, 20000);
            QTRY_VERIFY2_WITH_TIMEOUT(isViewable(m_panel) != shown, qPrintable(windowInfo(m_panel)), 20000);
        }
    }

    // KWin takes a tool window off the screen while another program is
    // active if a window of the tool's own program counts as its main
    // window. With a second top-level in Quillnook's window group, the panel
    // stays on screen, on every desktop, and the toggle hides and shows it.
    void panelStaysOnScreenOnKwin()
    {
        if (m_session != QLatin1String("kwin-x11"))
            QSKIP("a KWin case");
        startQuillnook();
        X11TestClient client;
        QVERIFY(client.isConnected());
        const std::uint32_t mate = client.mapWindowInGroupOf(m_panel.toUInt(nullptr, 0));
        QVERIFY2(mate, "the panel names no client leader");
        QTRY_VERIFY_WITH_TIMEOUT(client.isMapped(mate), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(windowProperty(m_panel, QStringLiteral("_NET_WM_DESKTOP")).endsWith(u"4294967295"),
                                 10000);

        m_other.start(QStringLiteral("xmessage"), {QStringLiteral("-title"), otherTitle, otherTitle});
        QVERIFY(m_other.waitForStarted());
        const QString other = waitForViewableWindow(QStringLiteral("xmessage"), otherTitle, 20000);
        QVERIFY(!other.isEmpty());
        const QRect screen(0, 0, 1440, 900);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), other}));
            QTRY_VERIFY_WITH_TIMEOUT(sameWindow(focusedWindow(), other), 10000);
            // KWin revisits tool windows a fifth of a second after an activation.
            QVERIFY2(!QTest::qWaitFor([&] { return !isViewable(m_panel); }, 2000),
                     "the panel went off the screen when another program became active");
            QVERIFY(toggle());
            QTRY_VERIFY_WITH_TIMEOUT(!isViewable(m_panel), 20000);
            QVERIFY(toggle());
            QTRY_VERIFY_WITH_TIMEOUT(isViewable(m_panel), 20000);
            QVERIFY2(screen.contains(geometry(m_panel)), qPrintable(windowInfo(m_panel)));
            QTRY_VERIFY_WITH_TIMEOUT(windowProperty(m_panel, QStringLiteral("_NET_WM_DESKTOP")).endsWith(u"4294967295"),
                                     10000);
        }
    }

private:
    // `quillnook --toggle`, as a desktop's own shortcut runs it.
    bool toggle()
    {
        QProcess process;
        process.setProcessEnvironment(m_process.processEnvironment());
        process.start(m_binary, {QStringLiteral("--toggle")});
        if (!process.waitForStarted(5000))
            return false;
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000))
            return false;
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    void startQuillnook()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_process.setProcessEnvironment(env);
        m_process.setStandardOutputFile(QDir::home().filePath(QStringLiteral("quillnook.out")));
        m_process.setStandardErrorFile(QDir::home().filePath(QStringLiteral("quillnook.err")));
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(m_binary, {});
        QVERIFY(m_process.waitForStarted());
        m_panel = waitForViewableWindow(QStringLiteral("quillnook"), QStringLiteral("Quillnook"), 60000);
        QVERIFY2(!m_panel.isEmpty(), "the panel did not show");
    }

    void openSettings()
    {
        if (m_tree.showing(QStringLiteral("Click the shortcut")) || m_tree.showing(focusedOnly)
            || m_tree.showing(handledByGnome))
            return;
        std::optional<AccessibleTree::Node> gear;
        QTRY_VERIFY_WITH_TIMEOUT((gear = m_tree.showing(QStringLiteral("Settings"), true)).has_value(), 20000);
        QVERIFY(m_tree.press(gear->path));
    }

    void setUpFromThePage()
    {
        openSettings();
        std::optional<AccessibleTree::Node> button;
        QTRY_VERIFY_WITH_TIMEOUT((button = m_tree.showing(setUpButton)).has_value(), 20000);
        QVERIFY(m_tree.press(button->path));
    }

    // A Wayland window of another program, given the keyboard.
    void focusOtherProgram()
    {
        if (m_other.state() == QProcess::NotRunning) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
            m_other.setProcessEnvironment(env);
            m_other.start(QStringLiteral("zenity"),
                          {QStringLiteral("--info"), QStringLiteral("--title"), otherTitle, QStringLiteral("--text"),
                           otherTitle});
            QVERIFY(m_other.waitForStarted());
        }
        const QString activate
            = QStringLiteral("const w = global.get_window_actors().map(a => a.meta_window)"
                             ".find(w => w.get_title() == '%1'); if (w) w.activate(global.get_current_time()); "
                             "const f = global.display.focus_window; "
                             "f ? f.get_title() + '|' + f.get_client_type() : ''")
                  .arg(otherTitle);
        // Client type 0: a Wayland window.
        QTRY_COMPARE_WITH_TIMEOUT(shellEval(activate), otherTitle + QStringLiteral("|0"), 20000);
    }

    QString shellEval(const QString& script)
    {
        QDBusMessage message
            = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                             QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
        message << script;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
            return QStringLiteral("(failed: %1)").arg(reply.arguments().value(1).toString());
        QString result = reply.arguments().value(1).toString();
        if (result.startsWith(u'"') && result.endsWith(u'"'))
            result = result.mid(1, result.size() - 2);
        return result;
    }

    // Presses and releases the keys (Clutter's keysym names) on a keyboard the
    // shell makes, which behaves like real hardware.
    bool shellPress(const QStringList& keys)
    {
        QStringList symbols;
        for (const QString& key : keys)
            symbols << QStringLiteral("C.KEY_") + key;
        const QString script
            = QStringLiteral("const C = imports.gi.Clutter, G = imports.gi.GLib; "
                             "if (!global._quillnookKeys) global._quillnookKeys = C.get_default_backend()"
                             ".get_default_seat().create_virtual_device(C.InputDeviceType.KEYBOARD_DEVICE); "
                             "const k = global._quillnookKeys; const keys = [%1]; "
                             "for (const s of keys) k.notify_keyval(G.get_monotonic_time(), s, C.KeyState.PRESSED); "
                             "for (const s of keys.reverse()) k.notify_keyval(G.get_monotonic_time(), s, "
                             "C.KeyState.RELEASED); 'pressed'")
                  .arg(symbols.join(u','));
        return shellEval(script) == QLatin1String("pressed");
    }

    // Whether GNOME Shell has a keybinding for this key (its X11 key code on
    // the session's US keymap) and modifier mask: GNOME's media-keys daemon
    // grabs a changed combination a moment after the change.
    bool shellHolds(int keyCode, int mask)
    {
        return shellEval(QStringLiteral("global.display.get_keybinding_action(%1, %2)").arg(keyCode).arg(mask))
            != QLatin1String("0");
    }

    // The paths of the custom shortcuts named "Quillnook" in GNOME's list.
    QStringList quillnookEntries()
    {
        QStringList found;
        for (const QString& path :
             stringList(gsettings({QStringLiteral("get"), listSchema, QStringLiteral("custom-keybindings")}))) {
            if (gsettings({QStringLiteral("get"), entrySchema + u':' + path, QStringLiteral("name")})
                == QLatin1String("'Quillnook'"))
                found << path;
        }
        return found;
    }

    // Whether this key and exact modifier state is free on the X server: a
    // grab of our own succeeds (and is let go at once).
    static bool canGrab(X11TestClient& client, std::uint8_t keycode, std::uint16_t modifiers)
    {
        if (!client.grabKey(keycode, modifiers))
            return false;
        client.ungrabKey(keycode, modifiers);
        client.sync();
        return true;
    }

    bool kglobalaccelHoldsCtrlShiftX()
    {
        QDBusMessage message
            = QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
                                             QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("shortcut"));
        message << QVariant::fromValue(
            QStringList {QStringLiteral("quillnook"), QStringLiteral("toggle-panel"), QString(), QString()});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return false;
        const auto keys = qdbus_cast<QList<int>>(reply.arguments().value(0));
        return keys.contains((Qt::CTRL | Qt::SHIFT | Qt::Key_X).toCombined());
    }

    QString m_session;
    QString m_binary;
    QProcess m_process;
    QProcess m_other;
    QString m_panel;
    AccessibleTree m_tree;
};

QTEST_GUILESS_MAIN(TestShortcutDesktops)
#include "tst_shortcutdesktops.moc"
