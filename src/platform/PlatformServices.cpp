#include "PlatformServices.h"

#include <QDBusConnection>
#include <QGuiApplication>

#include "platform/PanelWindowHints.h"
#include "platform/SessionEnvironment.h"
#include "platform/null/NullHotkeyService.h"
#include "platform/portal/PortalHotkeyService.h"
#include "platform/portal/PortalScreenCaptureService.h"

#ifdef QUILLNOOK_HAVE_X11
#include "platform/x11/X11ConnectionLoss.h"
#include "platform/x11/X11HotkeyService.h"
#include "platform/x11/X11PanelWindowHints.h"
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

void PlatformServices::callBeforeDisplayLoss(void (*beforeEnd)())
{
#ifdef QUILLNOOK_HAVE_X11
    if (onX11())
        X11ConnectionLoss::callFirst(beforeEnd);
#else
    Q_UNUSED(beforeEnd);
#endif
}

std::unique_ptr<ScreenCaptureService> PlatformServices::createScreenCaptureService()
{
    if (SessionEnvironment().isWaylandSession())
        return PortalScreenCaptureService::create(QDBusConnection::sessionBus());
    return nullptr;
}
