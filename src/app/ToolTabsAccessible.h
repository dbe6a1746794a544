#pragma once

class QAccessibleInterface;
class QObject;
class QString;

// How the tool switcher reads to a screen reader: a page tab list whose
// segments are page tabs, the chosen one selected (not check boxes, which
// plain checkable buttons would be).
namespace ToolTabsAccessible {
// An accessibility factory for QAccessible::installFactory().
QAccessibleInterface* create(const QString& className, QObject* object);
// Tells assistive technology that a segment was chosen or left.
void announceSelection(QObject* segment);
} // namespace ToolTabsAccessible
