#include "PlatformServices.h"

#include <QGuiApplication>

#include "platform/PanelWindowHints.h"
#include "platform/null/NullHotkeyService.h"

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
