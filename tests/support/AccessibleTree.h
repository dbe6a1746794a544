#pragma once

#include <optional>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

// A running program as a screen reader sees it: its objects on the
// accessibility bus of a session bus, found by name, read and pressed.
class AccessibleTree
{
public:
    struct Node
    {
        QString path;
        QString name;
        bool showing = false;
    };

    // Connects to the accessibility bus that `session` hands out; false when
    // the session has none.
    bool connect(const QDBusConnection& session, const QString& connectionName)
    {
        const QDBusMessage reply = QDBusConnection(session).call(
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
            QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return false;
        m_bus = QDBusConnection::connectToBus(reply.arguments().constFirst().toString(), connectionName);
        return m_bus.isConnected();
    }

    // Picks the application whose root carries this name; false while none does.
    bool findApplication(const QString& name)
    {
        const QStringList names = m_bus.interface()->registeredServiceNames().value();
        for (const QString& service : names) {
            if (!service.startsWith(QLatin1Char(':')))
                continue;
            m_app = service;
            if (property(rootPath(), QStringLiteral("Name")).toString() == name)
                return true;
        }
        m_app.clear();
        return false;
    }

    // The paths of the children a GetChildren reply lists that belong to `app`.
    static QStringList childPaths(const QDBusMessage& children, const QString& app)
    {
        QStringList paths;
        if (children.arguments().isEmpty())
            return paths;
        const QDBusArgument array = children.arguments().constFirst().value<QDBusArgument>();
        array.beginArray();
        while (!array.atEnd()) {
            QString service;
            QDBusObjectPath path;
            array.beginStructure();
            array >> service >> path;
            array.endStructure();
            if (service == app)
                paths << path.path();
        }
        array.endArray();
        return paths;
    }

    // Every object of the application, breadth first.
    QList<Node> nodes() const
    {
        QList<Node> found;
        QStringList pending {rootPath()};
        while (!pending.isEmpty() && found.size() < 3000) {
            Node node;
            node.path = pending.takeFirst();
            node.name = property(node.path, QStringLiteral("Name")).toString();
            const auto bits = qdbus_cast<QList<uint>>(call(node.path, QStringLiteral("GetState")).arguments().value(0));
            node.showing = bits.size() == 2 && (bits.at(0) & (1U << StateShowing));
            found << node;
            pending << childPaths(call(node.path, QStringLiteral("GetChildren")), m_app);
        }
        return found;
    }

    // The first showing object whose name starts with `prefix`, or is
    // exactly that.
    std::optional<Node> showing(const QString& prefix, bool exact = false) const
    {
        for (const Node& node : nodes()) {
            if (node.showing && (exact ? node.name == prefix : node.name.startsWith(prefix)))
                return node;
        }
        return std::nullopt;
    }

    // Runs the object's first action (a button's press); false when it has none.
    bool press(const QString& path) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_app, path, QStringLiteral("org.a11y.atspi.Action"),
                                                              QStringLiteral("DoAction"));
        message << 0;
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

private:
    static constexpr uint StateShowing = 25;
    static QString rootPath() { return QStringLiteral("/org/a11y/atspi/accessible/root"); }

    QDBusMessage call(const QString& path, const QString& method) const
    {
        return m_bus.call(
            QDBusMessage::createMethodCall(m_app, path, QStringLiteral("org.a11y.atspi.Accessible"), method),
            QDBus::Block, 5000);
    }

    QVariant property(const QString& path, const QString& name) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            m_app, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        message << QStringLiteral("org.a11y.atspi.Accessible") << name;
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().constFirst().value<QDBusVariant>().variant();
    }

    QDBusConnection m_bus {QString()};
    QString m_app;
};
