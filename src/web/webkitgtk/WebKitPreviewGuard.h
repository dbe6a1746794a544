#pragma once

#include <functional>

#include <QByteArray>

typedef struct _WebKitWebView WebKitWebView;

// Keeps a previewed file to itself: the page may load the file and nothing
// else, no image, style sheet, font, frame, object or media from the network,
// from another file or from any other place. Content filters block the
// requests inside the web process, before any leaves it; navigations are
// decided one by one.
namespace WebKitPreviewGuard {

// The filter rules for one file's address, as the engine's content-blocker
// JSON: everything is blocked except that address and the engine's own
// inline and viewer schemes.
QByteArray rules(const QByteArray& fileUri);

// Puts the filter for `fileUri` on the view, replacing the last one, then
// calls `then` on the main thread: true once it is in force, false when it
// could not be made (the caller then must not load the file).
void confine(WebKitWebView* view, const QByteArray& fileUri, std::function<void(bool)> then);

// Whether a preview may navigate to `target` while showing `fileUri`.
bool allowsNavigation(const QByteArray& target, const QByteArray& fileUri);

} // namespace WebKitPreviewGuard
