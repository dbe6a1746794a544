#pragma once

using WebKitWebView = struct _WebKitWebView;
class WebView;

// While the page holds the X focus, Qt never sees a key, so the panel's own
// shortcuts (window-wide actions such as Ctrl+Shift+S) would go to the page.
// A key press in the page that matches one of them triggers that action
// instead, as it would have from any Qt widget of the panel.
namespace WebKitShortcutForward {
// Listens to the page's key presses for as long as `page` lives; `view`
// (whose widget sits in the panel) must live as long.
void install(WebKitWebView* page, WebView* view);
} // namespace WebKitShortcutForward
