#include "PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

#include "platform/DBusCalls.h"

namespace {
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString responseSignal = QStringLiteral("Response");

QDBusMessage versionQuery(const QString& interface)
{
    QDBusMessage get
        = QDBusMessage::createMethodCall(QLatin1String(PortalRequest::Service), QLatin1String(PortalRequest::Path),
                                         QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << interface << QStringLiteral("version");
    return get;
}
} // namespace

void PortalRequest::probe(const QDBusConnection& bus, const QString& interface, QObject* context,
                          std::function<void(bool offered)> then)
{
    if (!bus.isConnected()) {
        QMetaObject::invokeMethod(
            context, [then] { then(false); }, Qt::QueuedConnection);
        return;
    }
    QDBusConnection connection(bus);
    auto* watcher = new QDBusPendingCallWatcher(
        connection.asyncCall(versionQuery(interface), DBusCalls::ActivationTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [then](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        then(!finished->isError());
    });
}

bool PortalRequest::probeNow(const QDBusConnection& bus, const QString& interface)
{
    if (!bus.isConnected())
        return false;
    return QDBusConnection(bus).call(versionQuery(interface), QDBus::Block, DBusCalls::ReplyTimeoutMs).type()
        == QDBusMessage::ReplyMessage;
}

PortalRequest::PortalRequest(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_token(newToken())
{ }

QString PortalRequest::newToken()
{
    return QStringLiteral("quillnook_%1").arg(QRandomGenerator::global()->generate());
}

bool PortalRequest::listen(const QString& path)
{
    if (!m_path.isEmpty())
        m_bus.disconnect(QLatin1String(Service), m_path, requestInterface, responseSignal, this,
                         SLOT(onResponse(uint, QVariantMap)));
    m_path = path;
    if (m_path.isEmpty())
        return false;
    // Only the portal itself may answer: an answer names a file that we read
    // and then remove.
    return m_bus.connect(QLatin1String(Service), m_path, requestInterface, responseSignal, this,
                         SLOT(onResponse(uint, QVariantMap)));
}

std::optional<QString> PortalRequest::send(const QDBusMessage& call)
{
    if (!m_bus.isConnected())
        return QStringLiteral("no session bus");
    // ":1.42" answers under …/request/1_42/<token>.
    const QString sender = m_bus.baseService().mid(1).replace(u'.', u'_');
    if (!listen(QLatin1String(Path) + QStringLiteral("/request/") + sender + u'/' + m_token))
        return QStringLiteral("cannot listen for the desktop portal's answer");

    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* reply) {
        reply->deleteLater();
        if (reply->isError()) {
            listen(QString());
            if (!m_done) {
                m_done = true;
                const QDBusError error = reply->error();
                emit failed(error.message().isEmpty() ? error.name() : error.message());
            }
            return;
        }
        // Portals older than handle tokens pick a path of their own.
        const QString handle = QDBusPendingReply<QDBusObjectPath>(*reply).value().path();
        if (!handle.isEmpty() && handle != m_path && !m_done)
            listen(handle);
    });
    return std::nullopt;
}

void PortalRequest::onResponse(uint response, const QVariantMap& results)
{
    if (m_done)
        return;
    m_done = true;
    emit finished(response, results);
}
