#include "PlatformServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>

#include "platform/DBusCalls.h"
#include "platform/FreedesktopFileManager.h"
#include "platform/PanelWindowHints.h"
#include "platform/QtClipboardService.h"
#include "platform/SessionEnvironment.h"
#include "platform/SessionHotkeyService.h"
#include "platform/gnome/GnomeShortcutSetup.h"
#include "platform/kde/KGlobalAccelHotkeyService.h"
#include "platform/null/NullHotkeyService.h"
#include "platform/null/NullScreenCaptureService.h"
#include "platform/portal/PortalHotkeyService.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalScreenCaptureService.h"

#ifdef QUILLNOOK_HAVE_X11
#include "platform/x11/X11ClipboardService.h"
#include "platform/x11/X11ConnectionLoss.h"
#include "platform/x11/X11HotkeyService.h"
#include "platform/x11/X11PanelWindowHints.h"
#include "platform/x11/X11ScreenCaptureService.h"
#endif

namespace {
[[maybe_unused]] bool onX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}
} // namespace

namespace {
// Calls `then` on the main thread once the bus answered `call` without an
// error; never waits for the answer.
template<typename Then> void whenAnswered(QDBusConnection bus, const QDBusMessage& call, QObject* context, Then then)
{
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, DBusCalls::ActivationTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [then](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        then(!finished->isError());
    });
}

void probePortal(SessionHotkeyService* service, const QDBusConnection& bus)
{
    // Debian 12's portal answers that it has no such interface.
    PortalRequest::probe(bus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), service,
                         [service, bus](bool offered) {
                             if (offered)
                                 service->switchTo(std::make_unique<PortalHotkeyService>(bus));
                         });
}
} // namespace

std::unique_ptr<HotkeyService> PlatformServices::createHotkeyService()
{
    const SessionEnvironment session;
    std::unique_ptr<HotkeyService> first;
#ifdef QUILLNOOK_HAVE_X11
    // Through XWayland a key grab only fires while an X11 window has the focus.
    if (onX11())
        first = X11HotkeyService::create(session.isWaylandSession());
#endif
    if (!first)
        first = std::make_unique<NullHotkeyService>();
    auto service = std::make_unique<SessionHotkeyService>(std::move(first));
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return service;
    SessionHotkeyService* chosen = service.get();
    if (session.isKdeSession()) {
        // Preferred on Plasma's X11 session too: the shortcut then shows in
        // System Settings, and a change made there reaches Quillnook. The
        // ping starts the service where it waits for D-Bus activation.
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            QLatin1String(KGlobalAccelHotkeyService::Service), QLatin1String(KGlobalAccelHotkeyService::Path),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
        const bool wayland = session.isWaylandSession();
        whenAnswered(bus, ping, chosen, [chosen, bus, wayland](bool answered) {
            if (answered)
                chosen->switchTo(std::make_unique<KGlobalAccelHotkeyService>(bus));
            else if (wayland)
                probePortal(chosen, bus);
        });
    } else if (session.isWaylandSession()) {
        probePortal(chosen, bus);
    }
    return service;
}

std::unique_ptr<DesktopShortcutSetup> PlatformServices::createDesktopShortcutSetup(const HotkeyService& hotkeys)
{
    // On GNOME's X11 session the grab already works everywhere.
    if (hotkeys.reach() == HotkeyService::Reach::Everywhere || !SessionEnvironment().isGnomeSession())
        return nullptr;
    return std::make_unique<GnomeShortcutSetup>();
}

std::unique_ptr<FileManager> PlatformServices::createFileManager()
{
    return std::make_unique<FreedesktopFileManager>(QDBusConnection::sessionBus());
}

std::unique_ptr<PanelWindowHints> PlatformServices::createPanelWindowHints()
{
#ifdef QUILLNOOK_HAVE_X11
    if (onX11())
        return std::make_unique<X11PanelWindowHints>();
#endif
    return std::make_unique<NullPanelWindowHints>();
}

std::unique_ptr<ClipboardService> PlatformServices::createClipboardService()
{
#ifdef QUILLNOOK_HAVE_X11
    if (onX11()) {
        if (auto service = X11ClipboardService::create())
            return service;
    }
#endif
    return std::make_unique<QtClipboardService>();
}

std::unique_ptr<ScreenCaptureService>
PlatformServices::createScreenCaptureService([[maybe_unused]] ClipboardService& clipboard)
{
    // Under XWayland the X screen holds only the X11 programs' windows: a
    // grab of it would paste a mostly black picture. The desktop's portal
    // puts its picture on the clipboard itself.
    // The portal is asked in the background: a slow one never holds up the
    // panel.
    if (SessionEnvironment().isWaylandSession()) {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected())
            return PortalScreenCaptureService::createProbing(bus);
        return std::make_unique<NullScreenCaptureService>(
            QStringLiteral("this Wayland session offers no screenshot portal"));
    }
#ifdef QUILLNOOK_HAVE_X11
    if (onX11())
        return std::make_unique<X11ScreenCaptureService>(clipboard);
#endif
    return std::make_unique<NullScreenCaptureService>(
        QStringLiteral("screen capture is not available on this desktop (%1)").arg(QGuiApplication::platformName()));
}

void PlatformServices::callBeforeDisplayLoss(void (*beforeEnd)())
{
#ifdef QUILLNOOK_HAVE_X11
    if (onX11())
        X11ConnectionLoss::callFirst(beforeEnd);
#else
    Q_UNUSED(beforeEnd);
#endif
}
