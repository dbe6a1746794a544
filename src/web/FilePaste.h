#pragma once

#include <functional>

#include <QList>
#include <QPointF>

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

// The same files dropped on the page at `at` (in the view widget's pixels):
// dragenter and dragover on the element there, then, if the page accepts
// the drop (cancels dragover), one drop event whose dataTransfer holds them.
void drop(WebView& view, const QList<WebView::PastedFile>& files, QPointF at, Completion completion);

// From now on, local files dragged onto the view's widget (from the shelf or
// another program) are dropped on the page as above. Folders and files over
// `maxFileSize` are left out.
void acceptFileDrops(WebView& view, qint64 maxFileSize = qint64(100) * 1024 * 1024);

} // namespace FilePaste
