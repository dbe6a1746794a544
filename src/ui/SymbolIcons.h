#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The few symbols the settings page shows, by their symbol names:
// "camera.viewfinder", "circle.lefthalf.filled", "envelope" and
// "gearshape.fill". The desktop theme's icon where it has one, otherwise one
// drawn in the given colour.
namespace SymbolIcons {
QIcon icon(const QString& symbolName, const QColor& colour);
} // namespace SymbolIcons
