#pragma once

#include <cstdint>
#include <optional>

#include <QObject>

#include "keys/ModifierFlags.h"

// System-wide hot keys. A registration names a key position (the ANSI-layout
// virtual key code kept in the preferences) and its modifiers, and carries an
// id that comes back with every press. Modifiers are ModifierFlags, the form
// the preferences store and the recorder makes, from recorder to grab: Ctrl,
// Alt, Shift and Super, never Caps Lock. Presses are reported through
// hotkeyPressed() on the main thread, from inside the platform's event dispatch.
class HotkeyService : public QObject
{
    Q_OBJECT

public:
    using Registration = std::uint64_t;

    using QObject::QObject;

    // Nothing when the desktop refuses the combination (another client holds
    // it, the key has no position on this keyboard, or no hot keys at all).
    virtual std::optional<Registration> registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers, std::uint32_t id)
        = 0;
    virtual void unregisterHotkey(Registration registration) = 0;

    // True where the desktop, not Quillnook, decides which keys fire the
    // shortcut once it is bound (the user changes it in the desktop's
    // keyboard settings); a new combination is then only offered next time.
    virtual bool desktopOwnsBinding() const { return false; }

    // How far an accepted registration reaches: every window of the session,
    // only Quillnook's own windows (an X11 grab under XWayland: the compositor
    // hands X11 clients no keys while a Wayland window has the focus), or
    // nowhere at all (no way to take a shortcut in this session).
    enum class Reach
    {
        Everywhere,
        QuillnookWindows,
        Nowhere
    };
    virtual Reach reach() const { return Reach::Everywhere; }

signals:
    void hotkeyPressed(std::uint32_t id);
    void desktopOwnsBindingChanged(bool owned);
    void reachChanged();
    // The desktop's own keyboard settings gave the shortcut another
    // combination (`modifiers` as in a registration); the shown and stored
    // one follows.
    void combinationChangedByDesktop(std::uint16_t keyCode, std::uint32_t modifiers);
    // The desktop answered a registration it had first accepted with a
    // refusal (its service decides on the bus, after registerHotkey returned).
    void registrationRefused();
};
