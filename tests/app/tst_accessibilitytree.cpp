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
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
constexpr uint StateSelected = 23;
constexpr uint StateShowing = 25;

const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");

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
        m_binary = qEnvironmentVariable("QUILLNOOK_BINARY");
        QVERIFY2(QFile::exists(m_binary), "QUILLNOOK_BINARY must name the built program");
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

private:
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

            const QDBusMessage children = call(node.path, accessibleInterface, QStringLiteral("GetChildren"));
            if (children.arguments().isEmpty())
                continue;
            const QDBusArgument array = children.arguments().constFirst().value<QDBusArgument>();
            array.beginArray();
            while (!array.atEnd()) {
                QString service;
                QDBusObjectPath path;
                array.beginStructure();
                array >> service >> path;
                array.endStructure();
                if (service == m_app)
                    pending << path.path();
            }
            array.endArray();
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
};

QTEST_GUILESS_MAIN(TestAccessibilityTree)
#include "tst_accessibilitytree.moc"
