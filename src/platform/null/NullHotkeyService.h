#pragma once

#include "platform/HotkeyService.h"

// For desktops without a hot-key backend: every registration is refused, so
// the panel is reached from the tray menu only.
class NullHotkeyService : public HotkeyService
{
    Q_OBJECT

public:
    using HotkeyService::HotkeyService;

    std::optional<Registration> registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers,
                                               std::uint32_t id) override;
    void unregisterHotkey(Registration registration) override;
    Reach reach() const override { return Reach::Nowhere; }
};
