#pragma once

#include <QByteArray>
#include <QList>

typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitWebView WebKitWebView;

// Bytes handed to one page's scripts without travelling inside a script: an
// address of a scheme of our own that answers a single request, from the
// view it was made for and no other, straight from memory. The address is
// random and forgotten once asked for or withdrawn, so no page can guess it
// or ask for it again.
namespace WebKitPasteChannel {

constexpr const char* Scheme = "quillnook-paste";

// Registers the scheme on `context`, once, before its first page loads.
void install(WebKitWebContext* context);

// The addresses that serve `data` as `mimeType` to `view`'s page, a piece
// each, in order; empty when the view's context has no channel. The engine
// reads a response 8 KB at a time, one step per turn of the event loop, so
// a large offer is cut in up to MaxPieces that travel side by side: a busy
// 4K screenshot (about 25 MB) takes a quarter of the turns it would in 8.
QList<QByteArray> offer(WebKitWebView* view, const QByteArray& data, const QByteArray& mimeType);
constexpr int MaxPieces = 32;
constexpr qsizetype MinPieceSize = 512 * 1024;

// Forgets an address nobody asked for yet; nothing when it is gone already.
// One that is never asked for is forgotten after Lifetime anyway.
void withdraw(WebKitWebView* view, const QByteArray& address);
constexpr unsigned LifetimeSeconds = 120;

} // namespace WebKitPasteChannel
