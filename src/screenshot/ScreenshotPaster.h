#pragma once

#include <functional>

#include <QApplication>
#include <QByteArray>

class ClipboardService;
class ScreenCaptureService;
class WebView;

// Screenshot to chat: captures the screen to the clipboard, then pastes it
// into the chat box of a page. Holds no state; every call stands alone.
namespace ScreenshotPaster {

// What a capture needs of the desktop. The two services must outlive the
// calls that use them.
struct Services
{
    ClipboardService& clipboard;
    ScreenCaptureService& capture;
    // The system alert sound. A capture that cannot start also says why in
    // a notice line.
    std::function<void()> beep = [] { QApplication::beep(); };
};

using Completion = std::function<void(bool pasted)>;

// Focuses the page's chat box: the element with id prompt-textarea, else the
// first contenteditable="true" element, else the first text area.
QByteArray focusScript();

// Returns at once; the rest runs later on the main thread. `completion` is
// called once: true when the clipboard changed and the paste was sent to the
// page, false when the clipboard stayed as it was, the capture could not
// start or the page went away meanwhile.
void captureAndPaste(WebView& into, Completion completion, const Services& services);

} // namespace ScreenshotPaster
