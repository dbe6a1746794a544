#pragma once

#include <cstdint>
#include <optional>

// Key positions. A stored key code is the ANSI-layout virtual key code of a
// physical key (7 is the key labelled X on a US keyboard), so it means the same
// key on every layout. On Linux a position is an evdev scan code; the X11
// keycode of a key is its evdev code + 8.
namespace KeyPositions {
std::optional<std::uint16_t> evdevFromKeyCode(std::uint16_t keyCode);
std::optional<std::uint16_t> keyCodeFromEvdev(std::uint16_t evdevCode);

inline std::optional<std::uint16_t> x11KeycodeFromKeyCode(std::uint16_t keyCode)
{
    const auto evdev = evdevFromKeyCode(keyCode);
    if (!evdev || *evdev + 8 > 255)
        return std::nullopt;
    return static_cast<std::uint16_t>(*evdev + 8);
}

inline std::optional<std::uint16_t> keyCodeFromX11Keycode(std::uint32_t x11Keycode)
{
    if (x11Keycode < 8 || x11Keycode > 0xFFFF)
        return std::nullopt;
    return keyCodeFromEvdev(static_cast<std::uint16_t>(x11Keycode - 8));
}
} // namespace KeyPositions
