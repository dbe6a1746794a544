#pragma once

#include <cstdint>

// The modifier flags of a key combination, as stored under "toggleModifiers",
// made by the shortcut recorder and handed to the desktop backends alike.
// The numbers are those of files already written and never change.
namespace ModifierFlags {
constexpr std::uint64_t CapsLock = 0x10000;
constexpr std::uint64_t Shift = 0x20000;
constexpr std::uint64_t Super = 0x40000;
constexpr std::uint64_t Alt = 0x80000;
constexpr std::uint64_t Ctrl = 0x100000;
constexpr std::uint64_t DeviceIndependentMask = 0xFFFF0000;
// What a combination is made of: the four modifiers a shortcut may hold.
constexpr std::uint64_t Combination = Ctrl | Alt | Shift | Super;
} // namespace ModifierFlags
