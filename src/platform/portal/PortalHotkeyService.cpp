#include "PortalHotkeyService.h"

#include <cstdio>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "base/Notices.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalTrigger.h"

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalShortcut)

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

namespace {
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

QDBusMessage portalCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QLatin1String(PortalRequest::Service), QLatin1String(PortalRequest::Path),
                                          shortcutsInterface, method);
}

// Portals have sent the session handle both as a string and as an object path.
QString pathFrom(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>() && value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}
} // namespace

std::unique_ptr<PortalHotkeyService> PortalHotkeyService::create(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return nullptr;
    if (!PortalRequest::probeNow(bus, shortcutsInterface))
        return nullptr;
    return std::make_unique<PortalHotkeyService>(bus);
}

PortalHotkeyService::PortalHotkeyService(const QDBusConnection& bus, QObject* parent)
    : HotkeyService(parent)
    , m_bus(bus)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // The slot's argument types are looked up by name, so they must be known by then.
    qRegisterMetaType<QDBusObjectPath>();
    if (!m_bus.connect(QLatin1String(PortalRequest::Service), QLatin1String(PortalRequest::Path), shortcutsInterface,
                       QStringLiteral("Activated"), this,
                       SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap))))
        report(QStringLiteral("cannot listen for the shortcut's presses"));
}

PortalHotkeyService::~PortalHotkeyService()
{
    if (m_sessionHandle.isEmpty())
        return;
    // Closing the session releases the binding now rather than when we leave the bus.
    m_bus.call(QDBusMessage::createMethodCall(QLatin1String(PortalRequest::Service), m_sessionHandle,
                                              QStringLiteral("org.freedesktop.portal.Session"),
                                              QStringLiteral("Close")),
               QDBus::NoBlock);
}

std::optional<HotkeyService::Registration>
PortalHotkeyService::registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers, std::uint32_t id)
{
    if (!m_sessionRequested) {
        m_preferredTrigger = PortalTrigger::fromCombination(keyCode, modifiers);
        createSession();
    }
    if (m_failed)
        return std::nullopt;
    m_live = ++m_nextRegistration;
    m_liveId = id;
    return m_live;
}

void PortalHotkeyService::unregisterHotkey(Registration registration)
{
    if (m_live == registration)
        m_live.reset();
}

void PortalHotkeyService::createSession()
{
    m_sessionRequested = true;
    auto* request = new PortalRequest(m_bus, this);
    QDBusMessage call = portalCall(QStringLiteral("CreateSession"));
    call << QVariantMap {{QStringLiteral("handle_token"), request->token()},
                         {QStringLiteral("session_handle_token"), PortalRequest::newToken()}};
    connect(request, &PortalRequest::finished, this, [this, request](uint response, const QVariantMap& results) {
        request->deleteLater();
        m_sessionHandle = pathFrom(results.value(QStringLiteral("session_handle")));
        if (response != PortalRequest::Success || m_sessionHandle.isEmpty()) {
            m_sessionHandle.clear();
            report(QStringLiteral("the desktop did not open a shortcut session"));
            return;
        }
        bindShortcut();
    });
    connect(request, &PortalRequest::failed, this, [this, request](const QString& reason) {
        request->deleteLater();
        report(reason);
    });
    if (const auto error = request->send(call)) {
        request->deleteLater();
        report(*error);
    }
}

void PortalHotkeyService::bindShortcut()
{
    QVariantMap properties {{QStringLiteral("description"), QString::fromLatin1(Description)}};
    if (!m_preferredTrigger.isEmpty())
        properties.insert(QStringLiteral("preferred_trigger"), m_preferredTrigger);
    const QList<PortalShortcut> shortcuts {{QString::fromLatin1(ShortcutId), properties}};

    auto* request = new PortalRequest(m_bus, this);
    QDBusMessage call = portalCall(QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_sessionHandle)) << QVariant::fromValue(shortcuts) << QString()
         << QVariantMap {{QStringLiteral("handle_token"), request->token()}};
    connect(request, &PortalRequest::finished, this, [this, request](uint response, const QVariantMap&) {
        request->deleteLater();
        if (response == PortalRequest::Success) {
            setBound(true);
        } else if (response == PortalRequest::Cancelled) {
            // The user said no; the next start asks again.
            m_failed = true;
            m_live.reset();
        } else {
            report(QStringLiteral("the desktop refused the shortcut"));
        }
    });
    connect(request, &PortalRequest::failed, this, [this, request](const QString& reason) {
        request->deleteLater();
        report(reason);
    });
    if (const auto error = request->send(call)) {
        request->deleteLater();
        report(*error);
    }
}

void PortalHotkeyService::setBound(bool bound)
{
    if (m_bound == bound)
        return;
    m_bound = bound;
    emit desktopOwnsBindingChanged(bound);
}

void PortalHotkeyService::report(const QString& what)
{
    m_failed = true;
    m_live.reset();
    // The tray menu and `quillnook --toggle` still work; say why the key does not.
    Notices::report(QStringLiteral("Quillnook: no global shortcut through the desktop portal: ") + what);
}

void PortalHotkeyService::onActivated(const QDBusObjectPath& sessionHandle, const QString& shortcutId, qulonglong,
                                      const QVariantMap&)
{
    if (sessionHandle.path() != m_sessionHandle || shortcutId != QLatin1String(ShortcutId) || !m_live)
        return;
    emit hotkeyPressed(m_liveId);
}
