#pragma once

#include <cstdint>

#include <QString>

// A key combination written the way the global-shortcuts portal takes a
// preferred trigger: modifiers in capitals, then the key's keysym name as a
// US keyboard has it, e.g. "CTRL+SHIFT+x".
namespace PortalTrigger {
// `modifiers` is a HotkeyService modifier mask. Empty when the key has no
// keysym name we know: the desktop then asks the user for a trigger.
QString fromCombination(std::uint16_t keyCode, std::uint32_t modifiers);

// The key's keysym name on a US keyboard ("x", "F1", "Page_Up"); empty when
// we know none.
QString keysymName(std::uint16_t keyCode);

// The same combination as GNOME's keyboard settings store it, e.g.
// "<Shift><Control>x"; empty when the key has no keysym name we know.
QString gtkAccelerator(std::uint16_t keyCode, std::uint32_t modifiers);
} // namespace PortalTrigger
