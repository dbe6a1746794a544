#include "SessionEnvironment.h"

#include <QtGlobal>

namespace {
const QString qtPlatformKey = QStringLiteral("QT_QPA_PLATFORM");
const QString gdkBackendKey = QStringLiteral("GDK_BACKEND");
} // namespace

SessionEnvironment::SessionEnvironment(const QProcessEnvironment& environment)
    : m_environment(environment)
{ }

bool SessionEnvironment::isWaylandSession() const
{
    return !m_environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()
        || m_environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
}

QProcessEnvironment SessionEnvironment::toolkitOverrides() const
{
    QProcessEnvironment overrides;
    if (!isWaylandSession())
        return overrides;
    if (m_environment.value(qtPlatformKey).isEmpty())
        overrides.insert(qtPlatformKey, QStringLiteral("xcb"));
    if (m_environment.value(gdkBackendKey).isEmpty())
        overrides.insert(gdkBackendKey, QStringLiteral("x11"));
    return overrides;
}

QString SessionEnvironment::qtPlatform() const
{
    const QString chosen = m_environment.value(qtPlatformKey);
    if (!chosen.isEmpty())
        return chosen;
    return toolkitOverrides().value(qtPlatformKey);
}

bool SessionEnvironment::isNativeWayland() const
{
    // "wayland", "wayland-egl", or a fallback list such as "wayland;xcb".
    return qtPlatform().startsWith(QLatin1String("wayland"));
}

QString SessionEnvironment::browserProblem() const
{
    if (!isNativeWayland())
        return {};
    return QStringLiteral("The Browser needs XWayland: start Quillnook without QT_QPA_PLATFORM=wayland.");
}

QString SessionEnvironment::startupProblem() const
{
    if (!isWaylandSession() || qtPlatform() != QLatin1String("xcb"))
        return {};
    if (!m_environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return {};
    return QStringLiteral("Quillnook needs XWayland on Wayland sessions, and none is running (DISPLAY is not set). "
                          "Install and enable XWayland, then start Quillnook again.");
}

void SessionEnvironment::applyToProcess() const
{
    const QProcessEnvironment overrides = toolkitOverrides();
    for (const QString& key : overrides.keys())
        qputenv(key.toLocal8Bit().constData(), overrides.value(key).toLocal8Bit());
}
