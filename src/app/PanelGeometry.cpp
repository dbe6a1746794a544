#include "PanelGeometry.h"

QRectF PanelGeometry::initialRect(const QRectF& visibleArea)
{
    const double width = visibleArea.width() * 0.25;
    const double height = visibleArea.height() * 0.7;
    const double x = visibleArea.x() + visibleArea.width() - width - 10;
    const double y = visibleArea.y() + (visibleArea.height() - height) * 0.5;
    return {x, y, width, height};
}
