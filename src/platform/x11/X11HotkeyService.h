#pragma once

#include <memory>

#include "platform/HotkeyService.h"

// Global hot keys on X11: a passive key grab on the root window, taken once
// for every combination of the lock modifiers (Caps, Num, Scroll) so a lit
// lock never blocks the shortcut. Presses are picked out of Qt's xcb event
// stream by a native event filter.
class X11HotkeyService : public HotkeyService
{
    Q_OBJECT

public:
    // Nothing when the application does not run on the xcb platform plugin.
    // Under XWayland a grab only sees keys while an X11 window has the focus.
    static std::unique_ptr<X11HotkeyService> create(bool underXWayland = false);
    ~X11HotkeyService() override;

    std::optional<Registration> registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers,
                                               std::uint32_t id) override;
    void unregisterHotkey(Registration registration) override;
    Reach reach() const override { return m_underXWayland ? Reach::QuillnookWindows : Reach::Everywhere; }

private:
    bool m_underXWayland = false;
    class Private;
    explicit X11HotkeyService(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};
