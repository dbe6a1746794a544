#pragma once

#include <QString>

// Notes of a given size that look like a person's: short lines of words.
namespace NotesText {
QString sample(qsizetype bytes);
// Writes Quillnook.txt of that size into folder, as NotesStore would find it.
bool writeFile(const QString& folder, qsizetype bytes);
} // namespace NotesText
