#include "SessionEnvironment.h"

#include <QDir>
#include <QLibraryInfo>
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

namespace {
bool namesDesktop(const QProcessEnvironment& environment, QLatin1String name)
{
    const QStringList desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(u':');
    for (const QString& desktop : desktops) {
        if (desktop.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
} // namespace

bool SessionEnvironment::isGnomeSession() const
{
    return namesDesktop(m_environment, QLatin1String("GNOME"));
}

bool SessionEnvironment::isKdeSession() const
{
    return namesDesktop(m_environment, QLatin1String("KDE"))
        || m_environment.value(QStringLiteral("KDE_FULL_SESSION")) == QLatin1String("true");
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

bool SessionEnvironment::qtWaylandPluginInstalled()
{
    QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    for (const QString& folder : std::as_const(folders)) {
        if (!QDir(folder + QStringLiteral("/platforms"))
                 .entryList({QStringLiteral("libqwayland*.so")}, QDir::Files)
                 .isEmpty())
            return true;
    }
    return false;
}

std::optional<SessionEnvironment::MissingWaylandPlugin>
SessionEnvironment::missingWaylandPlugin(bool pluginInstalled) const
{
    // "wayland;xcb" falls back on its own.
    if (pluginInstalled || !isNativeWayland() || qtPlatform().contains(QLatin1String("xcb")))
        return std::nullopt;
    if (m_environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return MissingWaylandPlugin {
            QStringLiteral("Quillnook: QT_QPA_PLATFORM=wayland asks for Qt's Wayland support, which is not installed "
                           "(package qt6-wayland), and no XWayland is running to use instead."),
            false};
    return MissingWaylandPlugin {
        QStringLiteral("Quillnook: Qt's Wayland support is not installed (package qt6-wayland); running through "
                       "XWayland instead."),
        true};
}

void SessionEnvironment::runThroughXWayland()
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (qEnvironmentVariableIsEmpty("GDK_BACKEND"))
        qputenv("GDK_BACKEND", "x11");
}
