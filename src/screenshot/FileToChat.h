#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>
#include <QUrl>

class WebView;

// Shelf to chat: hands shelf files to the chat box of a page, the way a
// pasted screenshot reaches it (the focus script, then one paste event that
// holds every file with its own name and type).
namespace FileToChat {

// A bigger file is not sent: the page would hold it in memory, twice.
constexpr qint64 MaxFileSize = qint64(100) * 1024 * 1024;

using Completion = std::function<void(bool delivered)>;

// Why `files` cannot go to `into` (null: no page is open), in one line;
// nothing when they can. Reads no file's contents.
std::optional<QString> refusal(const WebView* into, const QList<QUrl>& files);

// Reads the files and sends them. Returns the one-line reason when it sent
// nothing (as refusal() says, or a file that could not be read); otherwise
// returns at once, and `completion` follows on the main thread.
std::optional<QString> send(WebView* into, const QList<QUrl>& files, Completion completion = {});

} // namespace FileToChat
