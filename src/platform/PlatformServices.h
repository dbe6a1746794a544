#pragma once

#include <memory>

class ClipboardService;
class DesktopShortcutSetup;
class FileManager;
class HotkeyService;
class PanelWindowHints;
class ScreenCaptureService;

namespace PlatformServices {
// The backends for the running session: on Wayland sessions the desktop
// portals where they are offered, X11 under the xcb platform plugin,
// otherwise the null ones.
// The shortcut starts on the X11 grab (or none) at once; on Plasma its
// global-shortcut service, and on Wayland sessions the global-shortcuts
// portal, take over as soon as they answer on the bus.
std::unique_ptr<HotkeyService> createHotkeyService();
// Where the session's own keyboard settings can run `quillnook --toggle` for
// a shortcut that `hotkeys` cannot make global (GNOME on Wayland); null
// elsewhere.
std::unique_ptr<DesktopShortcutSetup> createDesktopShortcutSetup(const HotkeyService& hotkeys);
std::unique_ptr<PanelWindowHints> createPanelWindowHints();
// The session bus's file manager, with the folder as the fallback.
std::unique_ptr<FileManager> createFileManager();
std::unique_ptr<ClipboardService> createClipboardService();
// Captures land on `clipboard`, which must outlive the service. Where this
// session has no way to capture the screen, the service refuses with why.
std::unique_ptr<ScreenCaptureService> createScreenCaptureService(ClipboardService& clipboard);
// Runs beforeEnd when the connection to the display breaks, before the
// toolkits end the process; call again after a toolkit has started, as it
// may put its own handling in front.
void callBeforeDisplayLoss(void (*beforeEnd)());
} // namespace PlatformServices
