#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

// The Files tool's small line symbols, drawn rather than taken from the icon
// theme so they look the same on every desktop, themed or not.
namespace FileSymbols {

enum class Symbol
{
    Tray, // the count label's full tray
    Plus, // "Add"
    ChevronLeft, // back to the list
    OpenExternal, // arrow out of a box: open in the default app
    Trash, // delete a row
    DocumentAdd, // empty drop zone at rest
    TrayArrowDown, // empty drop zone under a drag
    Send, // paper plane: send a row to the chat
};

// Draws the symbol centred in `box` with strokes of `color`.
void paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color, qreal lineWidth = 1.4);

// An icon of the symbol for buttons, in the given colour.
QIcon icon(Symbol symbol, const QColor& color, int size = 16);

} // namespace FileSymbols
