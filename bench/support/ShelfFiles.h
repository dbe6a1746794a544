#pragma once

#include <QString>

namespace ShelfFiles {
// Fills `folder` with `count` small files of assorted kinds and name cases,
// as a long-used shelf would hold. False when the disk refused.
bool make(const QString& folder, int count);
} // namespace ShelfFiles
