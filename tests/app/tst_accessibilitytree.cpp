// What a screen reader finds: the real program's AT-SPI tree, read over the
// accessibility bus of a private session bus, as Orca would read it.
#include <csignal>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "support/AccessibleTree.h"
#include "support/BuiltProgram.h"
#include "support/X11TestClient.h"
#include "support/X11Tools.h"

#include <sys/prctl.h>

using namespace X11Tools;

namespace {
// Values of the AT-SPI role and state enumerations.
constexpr uint RoleCheckBox = 7;
constexpr uint RolePageTab = 37;
constexpr uint RolePageTabList = 38;
constexpr uint RoleSlider = 51;
constexpr uint StateChecked = 4;
constexpr uint StateCollapsed = 5;
constexpr uint StateExpandable = 9;
constexpr uint StateExpanded = 10;
constexpr uint StateFocused = 12;
constexpr uint StateSelected = 23;
constexpr uint StateShowing = 25;
// AT-SPI's relation types: this object is labelled by those.
constexpr uint RelationLabelledBy = 2;

const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString settingsTitle = QStringLiteral("Settings & Help — Quillnook");

struct Node
{
    QString path;
    QString name;
    uint role = 0;
    quint64 states = 0;
    bool has(uint state) const { return states & (quint64(1) << state); }
};

} // namespace

class TestAccessibilityTree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_binary = BuiltProgram::path();
        QVERIFY2(!m_binary.isEmpty(), "QUILLNOOK_BINARY must name the built program");
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs the suite's X server");

        // A session bus of our own; the accessibility bus launcher is
        // started on it by D-Bus activation.
        m_bus.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted());
        QTRY_VERIFY(m_bus.canReadLine());
        m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
        QDBusConnection session = QDBusConnection::connectToBus(m_busAddress, QStringLiteral("private-session"));
        QVERIFY(session.isConnected());
        const QDBusMessage reply = session.call(
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
            QDBus::Block, 10000);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        m_a11y = QDBusConnection::connectToBus(reply.arguments().at(0).toString(), QStringLiteral("a11y"));
        QVERIFY(m_a11y.isConnected());

        m_home.emplace();
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("Documents"))));
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("config/Quillnook"))));
        QFile config(m_home->filePath(QStringLiteral("config/Quillnook/Quillnook.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[General]\npanelOpacity=0.85\n");
        config.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_process.setProcessEnvironment(env);
        // Unread pipes would fill (a screen reader's queries make it talk) and stop it.
        m_process.setStandardOutputFile(m_home->filePath(QStringLiteral("quillnook.out")));
        m_process.setStandardErrorFile(m_home->filePath(QStringLiteral("quillnook.err")));
        // Gone with the test, even when the test itself dies.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(m_binary, {});
        QVERIFY(m_process.waitForStarted());
        m_panel = waitForViewableWindow(QStringLiteral("quillnook"), QStringLiteral("Quillnook"));
        QVERIFY2(!m_panel.isEmpty(), "the panel did not show");
        QTRY_VERIFY_WITH_TIMEOUT(!(m_app = findApplication()).isEmpty(), 10000);
    }

    void cleanupTestCase()
    {
        for (QProcess* process : {&m_process, &m_bus}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("a11y"));
        QDBusConnection::disconnectFromBus(QStringLiteral("private-session"));
    }

    void init()
    {
        // Each case starts from the panel with its settings page closed.
        if (isViewable(settingsWindow())) {
            key(QStringLiteral("Escape"));
            QTRY_VERIFY_WITH_TIMEOUT(!isViewable(settingsWindow()), 5000);
        }
    }

    void toolTabsArePageTabsWithTheChosenOneSelected()
    {
        const QList<Node> nodes = tree();
        const QStringList tools {QStringLiteral("Notes"), QStringLiteral("Browser"), QStringLiteral("Files")};
        QStringList tabs;
        for (const Node& node : nodes) {
            // Not check boxes, as plain checkable buttons would read.
            QVERIFY2(node.role != RoleCheckBox || !tools.contains(node.name), qPrintable(node.name));
            // The browser's own tabs are page tabs too; they have their test below.
            if (node.role != RolePageTab || !tools.contains(node.name))
                continue;
            tabs << node.name + (node.has(StateSelected) ? QStringLiteral("*") : QString());
            QVERIFY(!node.has(StateChecked));
        }
        QCOMPARE(tabs, (QStringList {QStringLiteral("Notes*"), QStringLiteral("Browser"), QStringLiteral("Files")}));
        QVERIFY(std::any_of(nodes.begin(), nodes.end(), [](const Node& n) { return n.role == RolePageTabList; }));
    }

    void browserTabsArePageTabsWithTheActiveOneSelected()
    {
        // Once the web engine has started, after the panel. Their names are
        // the pages' titles, which the network decides.
        const QStringList tools {QStringLiteral("Notes"), QStringLiteral("Browser"), QStringLiteral("Files")};
        auto browserTabs = [&] {
            QList<bool> selected;
            for (const Node& node : tree()) {
                if (node.role == RolePageTab && !tools.contains(node.name) && !node.name.isEmpty())
                    selected << node.has(StateSelected);
            }
            return selected;
        };
        QTRY_COMPARE_WITH_TIMEOUT(browserTabs(), (QList<bool> {true, false}), 20000);
    }

    void atShowOnlyTheChosenToolHasTheFocus()
    {
        // Shown from the shortcut, after another program had the keyboard.
        key(QStringLiteral("ctrl+shift+x"));
        QTRY_VERIFY_WITH_TIMEOUT(!isViewable(m_panel), 5000);
        // A plain X client, not one of the accessibility bus's applications.
        QProcess other;
        other.start(
            QStringLiteral("xmessage"),
            {QStringLiteral("-geometry"), QStringLiteral("300x200+100+100"), QStringLiteral("Another program")});
        auto endOther = qScopeGuard([&] { endProgram(other); });
        const QString otherWindow = waitForViewableWindow(QStringLiteral("xmessage"), QStringLiteral("xmessage"));
        QVERIFY(!otherWindow.isEmpty());
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), otherWindow});
        QTRY_VERIFY(sameWindow(focusedWindow(), otherWindow));
        key(QStringLiteral("ctrl+shift+x"));
        QTRY_VERIFY_WITH_TIMEOUT(isViewable(m_panel), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Notes (text)")}, 15000);

        // A click into the notes leaves the editor the one focused object.
        const QRect frame = geometry(m_panel);
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(frame.center().x()), QString::number(frame.center().y()),
             QStringLiteral("click"), QStringLiteral("1")});
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Notes (text)")}, 15000);
    }

    void everyStopOfTheSettingsPageIsNamedWithItsRole()
    {
        openSettings();
        // The page's first control has the keyboard.
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Ctrl+Shift+X (push button)")}, 15000);
        QStringList stops;
        for (int i = 0; i < 8; ++i) {
            key(QStringLiteral("Tab"));
            QStringList now;
            QTRY_VERIFY_WITH_TIMEOUT(
                (now = focused()).size() == 1 && (stops.isEmpty() || now.constFirst() != stops.constLast()), 5000);
            stops << now.constFirst();
        }
        // The address is the deployer's own.
        const QString address = stops.value(5).section(QLatin1Char(' '), 0, 0);
        QCOMPARE(stops,
                 (QStringList {QStringLiteral("Enable screenshots (Ctrl+Shift+S) (push button)"),
                               QStringLiteral("Panel opacity (slider)"), QStringLiteral("50% (push button)"),
                               QStringLiteral("85% (push button)"), QStringLiteral("100% (push button)"),
                               address + QStringLiteral(" (link)"), QStringLiteral("Ctrl+Shift+X (push button)"),
                               QStringLiteral("Enable screenshots (Ctrl+Shift+S) (push button)")}));
        QVERIFY(address.contains(QLatin1Char('@')));

        // The disclosure says whether it is open, and Space opens it.
        QString disclosure = focusedPath();
        QVERIFY(states(disclosure) & (quint64(1) << StateExpandable));
        QVERIFY(states(disclosure) & (quint64(1) << StateCollapsed));
        key(QStringLiteral("space"));
        QTRY_VERIFY_WITH_TIMEOUT(states(disclosure) & (quint64(1) << StateExpanded), 5000);
        QVERIFY(!(states(disclosure) & (quint64(1) << StateCollapsed)));
        key(QStringLiteral("space"));
        QTRY_VERIFY_WITH_TIMEOUT(states(disclosure) & (quint64(1) << StateCollapsed), 5000);

        // The slider is labelled by its headline and by the percentage shown beside it.
        key(QStringLiteral("Tab"));
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Panel opacity (slider)")}, 15000);
        QCOMPARE(labels(focusedPath()), (QStringList {QStringLiteral("Transparency"), QStringLiteral("85%")}));
        QCOMPARE(property(focusedPath(), accessibleInterface, QStringLiteral("Description")).toString(),
                 QStringLiteral("85%"));
        key(QStringLiteral("Escape"));
        QTRY_VERIFY_WITH_TIMEOUT(!isViewable(settingsWindow()), 5000);
    }

    void escapeGivesTheKeyboardBackToTheGearEveryTime()
    {
        // Another program's window right behind the panel, which the window
        // manager would gladly give the focus to.
        QWidget other;
        auto* field = new QLineEdit(&other);
        other.setGeometry(geometry(m_panel).adjusted(-200, 0, 0, 0));
        field->setGeometry(0, 0, 180, 30);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        for (int i = 0; i < 12; ++i) {
            other.activateWindow();
            QTRY_VERIFY(other.isActiveWindow());
            openSettings();
            // Escape and the next keys at once, as fast as a keyboard sends them.
            run(QStringLiteral("xdotool"),
                {QStringLiteral("key"), QStringLiteral("--delay"), QString::number(i % 3 == 0 ? 0 : 12 * (i % 3)),
                 QStringLiteral("Escape"), QStringLiteral("q"), QStringLiteral("w")});
            QTRY_VERIFY_WITH_TIMEOUT(!isViewable(settingsWindow()), 5000);
            QTRY_VERIFY2_WITH_TIMEOUT(sameWindow(focusedWindow(), m_panel), qPrintable(QString::number(i)), 5000);
            QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Settings (push button)")}, 15000);
            // Later keys land in the panel too.
            key(QStringLiteral("e"));
            // A moment for the key to land anywhere it should not.
            QTest::qWait(50);
            QVERIFY2(field->text().isEmpty(), qPrintable(QString::number(i) + QLatin1Char(' ') + field->text()));
        }
    }

    void aCombinationAnotherProgramHoldsIsToldAtOnce()
    {
        X11TestClient holder;
        QVERIFY(holder.isConnected());
        // Ctrl+Alt+J: the J key is evdev 36, X keycode 44.
        QVERIFY(holder.grabKey(44, X11TestClient::ControlBit | X11TestClient::Mod1Bit));
        holder.sync();
        openSettings();
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Ctrl+Shift+X (push button)")}, 15000);
        key(QStringLiteral("space"));
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Press keys… (push button)")}, 15000);
        key(QStringLiteral("ctrl+alt+j"));
        const QString caption = QStringLiteral("Another program uses this shortcut. Click to choose another.");
        QTRY_VERIFY_WITH_TIMEOUT(contains(tree(), caption), 2000);
        // The old shortcut is kept and still shown.
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringList {QStringLiteral("Ctrl+Shift+X (push button)")}, 15000);
        QCOMPARE(property(focusedPath(), accessibleInterface, QStringLiteral("Description")).toString(), caption);
        key(QStringLiteral("Escape"));
        QTRY_VERIFY_WITH_TIMEOUT(!isViewable(settingsWindow()), 5000);
    }

    void theSettingsPageIsInTheTreeWhileShown()
    {
        QVERIFY(!contains(tree(), QStringLiteral("Settings & Help")));
        const QRect frame = geometry(m_panel);
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(frame.right() - 21), QString::number(frame.y() + 28),
             QStringLiteral("click"), QStringLiteral("1")});
        QTRY_VERIFY_WITH_TIMEOUT(contains(tree(), QStringLiteral("Settings & Help")), 5000);

        // The opacity slider speaks in percent.
        const QList<Node> nodes = tree();
        const auto slider = std::find_if(nodes.begin(), nodes.end(), [](const Node& n) {
            return n.role == RoleSlider && n.name == QLatin1String("Panel opacity");
        });
        QVERIFY(slider != nodes.end());
        QCOMPARE(value(slider->path, QStringLiteral("CurrentValue")), 85.0);
        QCOMPARE(value(slider->path, QStringLiteral("MinimumValue")), 30.0);
        QCOMPARE(value(slider->path, QStringLiteral("MaximumValue")), 100.0);

        // Closed, it is no longer shown.
        key(QStringLiteral("Escape"));
        QTRY_VERIFY_WITH_TIMEOUT(!contains(tree(), QStringLiteral("Settings & Help"), StateShowing), 5000);
    }

    // Last: the screen reader listens to everything from here on.
    void orcaSaysWhatIsFocusedAtShowAndAtEveryStop()
    {
        const QString orca = QStandardPaths::findExecutable(QStringLiteral("orca"));
        QVERIFY2(!orca.isEmpty(), "needs Debian's orca");
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("orca"))));
        m_orcaLog = m_home->filePath(QStringLiteral("orca.log"));
        QProcess reader;
        QProcessEnvironment env = m_process.processEnvironment();
        reader.setProcessEnvironment(env);
        // Unread pipes would fill and stop it.
        reader.setStandardOutputFile(QProcess::nullDevice());
        reader.setStandardErrorFile(m_home->filePath(QStringLiteral("orca.err")));
        reader.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        // No speech synthesiser and no braille display: what it would say
        // goes only to its debug log, which is written line by line here
        // (the reader buffers it otherwise) so that each line can be waited for.
        const QString lineBuffered = QStringLiteral("import builtins, runpy, sys\n"
                                                    "plain = builtins.open\n"
                                                    "def line_open(file, mode='r', *args, **kwargs):\n"
                                                    "    if file == sys.argv[-1] and 'w' in mode:\n"
                                                    "        return plain(file, mode, buffering=1)\n"
                                                    "    return plain(file, mode, *args, **kwargs)\n"
                                                    "builtins.open = line_open\n"
                                                    "sys.argv[0] = '%1'\n"
                                                    "runpy.run_path('%1', run_name='__main__')\n")
                                         .arg(orca);
        reader.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), lineBuffered, QStringLiteral("--disable"), QStringLiteral("speech"),
                      QStringLiteral("--disable"), QStringLiteral("braille"), QStringLiteral("--user-prefs"),
                      m_home->filePath(QStringLiteral("orca")), QStringLiteral("--debug-file"), m_orcaLog});
        QVERIFY(reader.waitForStarted());
        auto stopReader = qScopeGuard([&] { endProgram(reader); });
        QTRY_VERIFY2_WITH_TIMEOUT(logText(0).contains("ORCA: Startup complete"), logText(0).right(1000).constData(),
                                  30000);

        // Shown from the shortcut: the window, then the notes editor, and
        // nothing on the way (no unnamed container).
        key(QStringLiteral("ctrl+shift+x"));
        QTRY_VERIFY_WITH_TIMEOUT(!isViewable(m_panel), 5000);
        // Another program has the keyboard meanwhile (a plain X client: one
        // of the screen reader's own would be asked about, and this test
        // blocks while it runs a command).
        QProcess other;
        other.start(
            QStringLiteral("xmessage"),
            {QStringLiteral("-geometry"), QStringLiteral("300x200+100+100"), QStringLiteral("Another program")});
        auto endOther = qScopeGuard([&] { endProgram(other); });
        const QString otherWindow = waitForViewableWindow(QStringLiteral("xmessage"), QStringLiteral("xmessage"));
        QVERIFY(!otherWindow.isEmpty());
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), otherWindow});
        QTRY_VERIFY(sameWindow(focusedWindow(), otherWindow));
        qint64 from = logSize();
        key(QStringLiteral("ctrl+shift+x"));
        QTRY_VERIFY2_WITH_TIMEOUT(spoken(from).contains(QStringLiteral("Notes text.")),
                                  qPrintable(spoken(from).join(u'|')), 10000);
        QCOMPARE(spoken(from), (QStringList {QStringLiteral("Quillnook."), QStringLiteral("Notes text.")}));

        // The settings page, stop by stop.
        from = logSize();
        openSettings();
        QTRY_VERIFY2_WITH_TIMEOUT(spoken(from).contains(QStringLiteral("Open / close panel Ctrl+Shift+X push button.")),
                                  qPrintable(spoken(from).join(u'|')), 10000);
        const QStringList stops {
            QStringLiteral("Enable screenshots (Ctrl+Shift+S) collapsed push button."),
            QStringLiteral("Transparency slider 85."),
            QStringLiteral("50% push button."),
            QStringLiteral("85% push button."),
            QStringLiteral("100% push button."),
        };
        for (const QString& stop : stops) {
            from = logSize();
            key(QStringLiteral("Tab"));
            QTRY_VERIFY2_WITH_TIMEOUT(spoken(from).contains(stop), qPrintable(spoken(from).join(u'|')), 10000);
        }
        from = logSize();
        key(QStringLiteral("Tab"));
        QTRY_VERIFY_WITH_TIMEOUT(!spoken(from).isEmpty(), 10000);
        QVERIFY2(spoken(from).constFirst().endsWith(QLatin1String(" link.")), qPrintable(spoken(from).join(u'|')));

        // Closed: back on the gear.
        from = logSize();
        key(QStringLiteral("Escape"));
        QTRY_VERIFY2_WITH_TIMEOUT(spoken(from).contains(QStringLiteral("Settings push button.")),
                                  qPrintable(spoken(from).join(u'|')), 10000);

        // A click into the notes names the editor.
        from = logSize();
        const QRect frame = geometry(m_panel);
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(frame.center().x()), QString::number(frame.center().y()),
             QStringLiteral("click"), QStringLiteral("1")});
        QTRY_VERIFY2_WITH_TIMEOUT(spoken(from).contains(QStringLiteral("Notes text.")),
                                  qPrintable(spoken(from).join(u'|')), 10000);
    }

private:
    qint64 logSize() const { return QFileInfo(m_orcaLog).size(); }

    // What the screen reader said after that point of its log, without the
    // names of the keys it echoes.
    QByteArray logText(qint64 from) const
    {
        QFile log(m_orcaLog);
        if (!log.open(QIODevice::ReadOnly) || !log.seek(from))
            return {};
        return log.readAll();
    }

    QStringList spoken(qint64 from) const
    {
        QStringList said;
        static const QRegularExpression line(QStringLiteral("SPEECH OUTPUT: '(.*)' ?\\{"));
        const QStringList lines = QString::fromUtf8(logText(from)).split(QLatin1Char('\n'));
        for (const QString& text : lines) {
            const QRegularExpressionMatch match = line.match(text);
            if (match.hasMatch() && !match.captured(1).endsWith(QLatin1Char(' ')))
                said << match.captured(1);
        }
        return said;
    }

    QString settingsWindow() const
    {
        const QStringList windows = findWindows(QStringLiteral("quillnook"), settingsTitle);
        return windows.isEmpty() ? QString() : windows.constFirst();
    }

    void openSettings()
    {
        const QRect frame = geometry(m_panel);
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(frame.right() - 21), QString::number(frame.y() + 28),
             QStringLiteral("click"), QStringLiteral("1")});
        QVERIFY(!waitForViewableWindow(QStringLiteral("quillnook"), settingsTitle).isEmpty());
    }

    quint64 states(const QString& path) const
    {
        const QDBusMessage state = call(path, accessibleInterface, QStringLiteral("GetState"));
        const auto bits = qdbus_cast<QList<uint>>(state.arguments().value(0));
        return bits.size() == 2 ? quint64(bits.at(0)) | (quint64(bits.at(1)) << 32) : 0;
    }

    QString roleName(const QString& path) const
    {
        return call(path, accessibleInterface, QStringLiteral("GetRoleName")).arguments().value(0).toString();
    }

    // "Name (role)" of every object that claims the keyboard focus.
    QStringList focused()
    {
        QStringList found;
        m_focusedPath.clear();
        for (const Node& node : tree()) {
            if (!node.has(StateFocused))
                continue;
            found << node.name + QStringLiteral(" (") + roleName(node.path) + QLatin1Char(')');
            m_focusedPath = node.path;
        }
        return found;
    }

    QString focusedPath() const { return m_focusedPath; }

    // The names of the objects that label this one.
    QStringList labels(const QString& path) const
    {
        QStringList names;
        const QDBusMessage reply = call(path, accessibleInterface, QStringLiteral("GetRelationSet"));
        if (reply.arguments().isEmpty())
            return names;
        const QDBusArgument relations = reply.arguments().constFirst().value<QDBusArgument>();
        relations.beginArray();
        while (!relations.atEnd()) {
            uint type = 0;
            relations.beginStructure();
            relations >> type;
            relations.beginArray();
            while (!relations.atEnd()) {
                QString service;
                QDBusObjectPath target;
                relations.beginStructure();
                relations >> service >> target;
                relations.endStructure();
                if (type == RelationLabelledBy)
                    names << property(target.path(), accessibleInterface, QStringLiteral("Name")).toString();
            }
            relations.endArray();
            relations.endStructure();
        }
        relations.endArray();
        return names;
    }

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {}) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_app, path, interface, method);
        message.setArguments(args);
        return m_a11y.call(message, QDBus::Block, 5000);
    }

    QVariant property(const QString& path, const QString& interface, const QString& name) const
    {
        const QDBusMessage reply
            = call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().constFirst().value<QDBusVariant>().variant();
    }

    double value(const QString& path, const QString& name) const
    {
        return property(path, QStringLiteral("org.a11y.atspi.Value"), name).toDouble();
    }

    // The connection on the accessibility bus whose root is Quillnook.
    QString findApplication()
    {
        const QStringList names = m_a11y.interface()->registeredServiceNames().value();
        for (const QString& name : names) {
            if (!name.startsWith(QLatin1Char(':')))
                continue;
            m_app = name;
            if (property(rootPath, accessibleInterface, QStringLiteral("Name")).toString()
                == QLatin1String("Quillnook"))
                return name;
        }
        m_app.clear();
        return {};
    }

    QList<Node> tree() const
    {
        QList<Node> nodes;
        QStringList pending {rootPath};
        while (!pending.isEmpty() && nodes.size() < 2000) {
            Node node;
            node.path = pending.takeFirst();
            node.name = property(node.path, accessibleInterface, QStringLiteral("Name")).toString();
            const QDBusMessage role = call(node.path, accessibleInterface, QStringLiteral("GetRole"));
            node.role = role.arguments().value(0).toUInt();
            const QDBusMessage state = call(node.path, accessibleInterface, QStringLiteral("GetState"));
            const auto bits = qdbus_cast<QList<uint>>(state.arguments().value(0));
            if (bits.size() == 2)
                node.states = quint64(bits.at(0)) | (quint64(bits.at(1)) << 32);
            nodes << node;

            pending << AccessibleTree::childPaths(call(node.path, accessibleInterface, QStringLiteral("GetChildren")),
                                                  m_app);
        }
        return nodes;
    }

    // A node of that name, showing on screen.
    static bool contains(const QList<Node>& nodes, const QString& name, uint state = StateShowing)
    {
        return std::any_of(nodes.begin(), nodes.end(), [&](const Node& n) { return n.name == name && n.has(state); });
    }

    QString m_binary;
    QProcess m_bus;
    QString m_busAddress;
    QDBusConnection m_a11y {QString()};
    std::optional<QTemporaryDir> m_home;
    QProcess m_process;
    QString m_panel;
    QString m_app;
    QString m_focusedPath;
    QString m_orcaLog;
};

QTEST_MAIN(TestAccessibilityTree)
#include "tst_accessibilitytree.moc"
