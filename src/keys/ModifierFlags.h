#pragma once

#include <cstdint>

// The modifier flags of a key combination, as stored under "toggleModifiers".
// On Linux, command is Ctrl, option is Alt and control is Super.
namespace ModifierFlags {
constexpr std::uint64_t CapsLock = 0x10000;
constexpr std::uint64_t Shift = 0x20000;
constexpr std::uint64_t Control = 0x40000;
constexpr std::uint64_t Option = 0x80000;
constexpr std::uint64_t Command = 0x100000;
constexpr std::uint64_t DeviceIndependentMask = 0xFFFF0000;
} // namespace ModifierFlags
