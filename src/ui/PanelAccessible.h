#pragma once

#include <QStackedWidget>

// How the panel's containers read to a screen reader.
//
// A screen reader trusts the "focused" state of every object it meets, and
// reads the first one it finds. Qt reports a widget as focused also when the
// keyboard is on its focus proxy, so a tool view and its main control would
// both claim it: the tool views here report only their own focus.
namespace PanelAccessible {
// Once per application; later calls do nothing.
void install();
} // namespace PanelAccessible

// A stack of pages of which one shows. To a screen reader it is a plain
// grouping, not a "layered pane" that it would name on the way to every
// control inside.
class QuietStack : public QStackedWidget
{
    Q_OBJECT

public:
    explicit QuietStack(QWidget* parent = nullptr);
};
