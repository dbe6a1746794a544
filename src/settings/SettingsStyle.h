#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QPalette;
class QWidget;

// Type and colour shared by the parts of the settings page.
namespace SettingsStyle {
// The type sizes of the page are given relative to a 13 pt body text.
constexpr double BodyPoints = 13.0;

// The base font at `points` on the 13 pt scale of the page.
QFont scaledFont(const QFont& base, double points);
QColor secondaryColour(const QPalette& palette);

// A wrapping label in the secondary colour; applyColours() keeps it so when
// the palette changes.
QLabel* mutedLabel(const QString& text, const QFont& font);
void applyColours(QWidget& root);
} // namespace SettingsStyle
