#pragma once

#include <QString>

// Copies one item of the file system: a file's bytes, or a folder with all it
// holds. Files go through the kernel's copy paths where they can, so a large
// file copies about as fast as the system's own tools.
namespace FileCopy {

struct Result
{
    bool ok = true;
    // Why it failed, for a person: the system's text for the error, led by
    // the inner item's path when the failure was inside a folder.
    QString reason;
};

// Copies `source` to `destination`, which must not exist yet. A link given as
// the source is followed; links inside a folder are copied as links. On
// failure whatever was made at `destination` is removed again. With `durable`
// the copied bytes are on the disk before it returns.
Result copy(const QString& source, const QString& destination, bool durable = false);

// Removes a file, a link or a folder with its contents; links are never
// followed. True when nothing is left at `path`.
bool removeAll(const QString& path);

// The error text the system gives for an errno value.
QString errorText(int error);

} // namespace FileCopy
