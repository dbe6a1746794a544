#pragma once

#include <functional>

#include <QList>

#include "web/WebView.h"

// How files reach a page as if the user had pasted them: one paste event on
// the focused element whose clipboardData holds every file, each with its
// own name and type. The engine's own paste never runs for them.
namespace FilePaste {

// Called once, on the main thread: `delivered` is true when the event went
// out to the page (whether or not the page took it), false when the page
// went away or a script failed first.
using Completion = std::function<void(bool delivered)>;

// The files travel in pieces of this many bytes, so no one script is huge.
constexpr qsizetype PieceSize = 4 * 1024 * 1024;

void paste(WebView& view, const QList<WebView::PastedFile>& files, Completion completion);

} // namespace FilePaste
