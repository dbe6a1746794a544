#pragma once

#include <QString>

namespace DocumentsLocation {
// The user's documents folder (XDG_DOCUMENTS_DIR), or the temporary folder
// when the desktop names none.
QString path();
} // namespace DocumentsLocation
