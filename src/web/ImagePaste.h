#pragma once

#include <functional>

#include <QByteArray>
#include <QString>

class QMimeData;
class WebView;

// How a clipboard image reaches a page: as an image/png File in a paste
// event's clipboardData, which is where chat composers look for it. The
// engine's own paste gives the page an <img> at best, so this runs instead
// and leaves the engine's paste for text and for pages that ignore the event.
namespace ImagePaste {

// The clipboard's image as PNG bytes; empty when it holds no image.
QByteArray pngFromClipboard(const QMimeData* clipboard);

// A page script that dispatches a cancelable paste event on the focused
// element (inside same-origin frames and open shadow roots), its
// clipboardData holding the file and, when not empty, the text. Evaluates to
// true when the page took the event (called preventDefault).
QString pasteEventScript(const QByteArray& png, const QString& text);
QByteArray pasteEventScriptUtf8(const QByteArray& png, const QString& text);

// Pastes into the page: an image without text (`png`) through the event,
// falling back to `nativePaste` when the page did not take it or the script
// failed; text, with an image beside it or not, through `nativePaste` at
// once. The image goes to a script world of our own that fetches it from the
// view's one-time addresses, so neither this thread nor the page's parses a
// script the size of the image; only an engine without them gets the image
// inside a script, written on a thread of its own.
void paste(WebView& view, const QByteArray& png, const QString& text, std::function<void()> nativePaste);

} // namespace ImagePaste
