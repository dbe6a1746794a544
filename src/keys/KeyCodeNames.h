#pragma once

#include <cstdint>

#include <QString>

// Display names of key positions (ANSI-layout virtual key codes).
namespace KeyCodeNames {
// The short name used in the symbol form (⇧⌘X): letters, digits, Space,
// Return, Tab, Esc and the arrows as symbols; every other key is "Key" and
// its code, e.g. "Key122".
QString name(std::uint16_t keyCode);

// The name in the form Linux desktops write shortcuts in ("Ctrl+Shift+Left"):
// words for the arrows, and a real name for keys the short table leaves out
// (F1, Page Up, "/", Num 5 …). Codes with no position fall back to "Key" and
// the code.
QString nativeName(std::uint16_t keyCode);
} // namespace KeyCodeNames
