#include "PlatformServices.h"

#include <QDBusConnection>
#include <QGuiApplication>

#include "platform/PanelWindowHints.h"
#include "platform/QtClipboardService.h"
#include "platform/SessionEnvironment.h"
#include "platform/null/NullHotkeyService.h"
#include "platform/null/NullScreenCaptureService.h"
#include "platform/portal/PortalHotkeyService.h"
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

std::unique_ptr<HotkeyService> PlatformServices::createHotkeyService()
{
    // Through XWayland a key grab only fires while an X11 window has the
    // focus; the portal's shortcut works everywhere.
    if (SessionEnvironment().isWaylandSession()) {
        if (auto service = PortalHotkeyService::create(QDBusConnection::sessionBus()))
            return service;
    }
#ifdef QUILLNOOK_HAVE_X11
    if (onX11()) {
        if (auto service = X11HotkeyService::create())
            return service;
    }
#endif
    return std::make_unique<NullHotkeyService>();
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
    if (SessionEnvironment().isWaylandSession()) {
        if (auto portal = PortalScreenCaptureService::create(QDBusConnection::sessionBus()))
            return portal;
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
