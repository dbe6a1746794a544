#pragma once

#include <atomic>
#include <functional>

#include <QByteArray>
#include <QString>

// Copies and removes items of the file system. Paths are the bytes the file
// system stores, so any name it allows works, UTF-8 or not. Files go through
// the kernel's copy paths where they can and keep their holes, so a large or
// sparse file copies about as fast, and takes as little space, as with the
// system's own tools.
namespace FileCopy {

struct Result
{
    bool ok = true;
    // Why it failed, for a person: the system's text for the error, led by
    // the inner item's path when the failure was inside a folder.
    QString reason;
    bool cancelled = false;
};

// Shared between a copy running on a worker thread and whoever watches it.
struct Progress
{
    // Bytes of file content passed so far (holes count as passed), and the
    // total once measured.
    std::atomic<qint64> done {0};
    std::atomic<qint64> total {0};
    // Set from any thread; the copy stops at its next chunk or entry.
    std::atomic<bool> cancel {false};
};

// The bytes of file content under a path (a file, or a folder's files),
// links not followed. What Progress::total is set to.
qint64 measure(const QByteArray& path);

// Copies `source` to `destination`, which must not exist yet. A link given as
// the source is followed; links inside a folder are copied as links. On
// failure or cancel whatever was made at `destination` is removed again. With
// `durable` the copied bytes are on the disk before it returns.
Result copy(const QByteArray& source, const QByteArray& destination, bool durable = false,
            Progress* progress = nullptr);

// Removes a file, a link or a folder with its contents. The walk goes by
// folder handles and never follows a link, also one another program puts in
// place of a folder while the walk runs: such a folder is left and reported.
Result remove(const QByteArray& path);

// Called between two entries of a folder being removed, with the path of the
// folder as it was opened. For tests that change the folder mid-walk.
void setRemoveHook(std::function<void(const QByteArray& folder)> hook);

// The error text the system gives for an errno value.
QString errorText(int error);

// A file name's bytes as text: invalid UTF-8 becomes U+FFFD.
QString displayName(const QByteArray& name);

} // namespace FileCopy
