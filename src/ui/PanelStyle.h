#pragma once

#include <QColor>
#include <QFont>

class QPalette;

// The few looks the panel's own views share, derived from the palette so they
// read on light and dark themes alike.
namespace PanelStyle {
// A rounded sans-serif face where one is installed, else the default sans.
QFont roundedFont(int pixelSize);
// Its family, empty when none is installed. The panel and the settings page
// use this one family throughout.
QString roundedFamily();

bool isDark(const QPalette& palette);

// The muted foreground for secondary marks and hints, at the given opacity.
QColor secondary(const QPalette& palette, qreal opacity = 1.0);

// Translucent washes over the panel's base: a faint one behind everything and
// a lighter one behind the tab row.
QColor backgroundWash(const QPalette& palette);
QColor tabRowWash(const QPalette& palette);
QColor divider(const QPalette& palette);
} // namespace PanelStyle
