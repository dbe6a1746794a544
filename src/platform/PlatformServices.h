#pragma once

#include <memory>

class ClipboardService;
class HotkeyService;
class PanelWindowHints;
class ScreenCaptureService;

namespace PlatformServices {
// The backends for the running session: X11 under the xcb platform plugin,
// otherwise the null ones.
std::unique_ptr<HotkeyService> createHotkeyService();
std::unique_ptr<PanelWindowHints> createPanelWindowHints();
std::unique_ptr<ClipboardService> createClipboardService();
// Captures land on `clipboard`, which must outlive the service.
std::unique_ptr<ScreenCaptureService> createScreenCaptureService(ClipboardService& clipboard);
} // namespace PlatformServices
