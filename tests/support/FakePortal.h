#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QTimer>

#include "support/EventLoopTurn.h"

// The desktop portal's global-shortcuts and screenshot interfaces, as a test
// double on a private bus: it records what it is asked and answers each
// request through the Response signal the way the real portal does.
class FakePortal : public QDBusVirtualObject
{
    Q_OBJECT

public:
    struct Shortcut
    {
        QString id;
        QVariantMap properties;
    };

    // Offers both interfaces on `bus` under the portal's well-known name.
    bool start(QDBusConnection bus)
    {
        m_bus = bus;
        return m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), this)
            && m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    void emitActivated(const QString& sessionHandle, const QString& shortcutId)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionHandle)) << shortcutId << qulonglong(1234)
               << QVariantMap();
        m_bus.send(signal);
    }

    // What the fake offers and how it answers.
    bool offersShortcuts = true;
    bool offersScreenshot = true;
    uint bindResponse = 0;
    int answerDelayMs = 10;
    uint screenshotResponse = 0;
    QString screenshotUri;

    // What it was asked.
    QStringList sessions;
    QList<QList<Shortcut>> binds;
    QStringList screenshotParents;
    QList<QVariantMap> screenshotOptions;
    // Answers to BindShortcuts sent through the Response signal.
    int bindsAnswered = 0;
    // Answers not sent yet: a test that starts while some are pending would
    // count another test's.
    int answersPending = 0;

    // Returns once everything this fake and `client` sent each other before
    // the call has been handled: a ping each way (each connection reads its
    // messages in order), then turns of this process's event loop, where the
    // messages are delivered.
    bool syncWith(const QDBusConnection& client)
    {
        const auto ping = [](const QDBusConnection& from, const QString& to) {
            const QDBusMessage reply = QDBusConnection(from).call(
                QDBusMessage::createMethodCall(to, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
                                               QStringLiteral("Ping")),
                QDBus::Block, 5000);
            return reply.type() == QDBusMessage::ReplyMessage;
        };
        return passEventLoop() && ping(client, m_bus.baseService()) && ping(m_bus, client.baseService())
            && passEventLoop() && passEventLoop();
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        const QString interface = message.interface();
        const QString member = message.member();
        const QVariantList args = message.arguments();
        if (interface == QLatin1String("org.freedesktop.DBus.Properties") && member == QLatin1String("Get")) {
            const QString asked = args.value(0).toString();
            if ((asked.endsWith(QLatin1String("GlobalShortcuts")) && offersShortcuts)
                || (asked.endsWith(QLatin1String("Screenshot")) && offersScreenshot)) {
                m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            } else {
                m_bus.send(message.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("not offered")));
            }
            return true;
        }
        if (interface == QLatin1String("org.freedesktop.portal.GlobalShortcuts") && offersShortcuts) {
            if (member == QLatin1String("CreateSession")) {
                const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
                const QString session = QStringLiteral("/org/freedesktop/portal/desktop/session/") + sender(message)
                    + u'/' + options.value(QStringLiteral("session_handle_token")).toString();
                sessions.append(session);
                // Portals send this handle as a string.
                answer(message, options, 0, {{QStringLiteral("session_handle"), session}});
                return true;
            }
            if (member == QLatin1String("BindShortcuts")) {
                QList<Shortcut> shortcuts;
                const QDBusArgument list = args.value(1).value<QDBusArgument>();
                list.beginArray();
                while (!list.atEnd()) {
                    Shortcut shortcut;
                    list.beginStructure();
                    list >> shortcut.id >> shortcut.properties;
                    list.endStructure();
                    shortcuts.append(shortcut);
                }
                list.endArray();
                binds.append(shortcuts);
                answer(message, qdbus_cast<QVariantMap>(args.value(3)), bindResponse, {}, &bindsAnswered);
                return true;
            }
        }
        if (interface == QLatin1String("org.freedesktop.portal.Screenshot") && offersScreenshot
            && member == QLatin1String("Screenshot")) {
            screenshotParents.append(args.value(0).toString());
            const QVariantMap options = qdbus_cast<QVariantMap>(args.value(1));
            screenshotOptions.append(options);
            QVariantMap results;
            if (screenshotResponse == 0)
                results.insert(QStringLiteral("uri"), screenshotUri);
            answer(message, options, screenshotResponse, results);
            return true;
        }
        m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("not offered")));
        return true;
    }

private:
    static QString sender(const QDBusMessage& message) { return message.service().mid(1).replace(u'.', u'_'); }

    // Replies with the request's path, then answers on it a moment later.
    void answer(const QDBusMessage& message, const QVariantMap& options, uint response, const QVariantMap& results,
                int* answered = nullptr)
    {
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender(message) + u'/'
            + options.value(QStringLiteral("handle_token")).toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        ++answersPending;
        QTimer::singleShot(answerDelayMs, this, [this, request, response, results, answered] {
            QDBusMessage signal = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                             QStringLiteral("Response"));
            signal << response << results;
            m_bus.send(signal);
            --answersPending;
            if (answered)
                ++*answered;
        });
    }

    QDBusConnection m_bus {QString()};
};
