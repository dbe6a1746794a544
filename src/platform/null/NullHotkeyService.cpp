#include "NullHotkeyService.h"

std::optional<HotkeyService::Registration> NullHotkeyService::registerHotkey(std::uint16_t, std::uint32_t,
                                                                             std::uint32_t)
{
    return std::nullopt;
}

void NullHotkeyService::unregisterHotkey(Registration) { }
