#pragma once

#include <memory>

class HotkeyService;
class PanelWindowHints;

namespace PlatformServices {
// The backends for the running session: X11 under the xcb platform plugin,
// otherwise the null ones.
std::unique_ptr<HotkeyService> createHotkeyService();
std::unique_ptr<PanelWindowHints> createPanelWindowHints();
} // namespace PlatformServices
