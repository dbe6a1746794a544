#pragma once

#include <QIcon>

class QMimeType;

// A drawn icon for a kind of file, for desktops without an icon theme: a page
// with a folded corner, a band in the colour of the file's family and its
// usual suffix ("PDF", "PNG"); a folder for folders.
namespace FileTypeIcon {
QIcon make(const QMimeType& type);
} // namespace FileTypeIcon
