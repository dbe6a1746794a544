#include "PanelGeometry.h"

#include <algorithm>

QSizeF PanelGeometry::minimumSize(const QRectF& visibleArea)
{
    return {std::min(MinimumWidth, visibleArea.width()), std::min(MinimumHeight, visibleArea.height())};
}

QRectF PanelGeometry::initialRect(const QRectF& visibleArea)
{
    const QSizeF minimum = minimumSize(visibleArea);
    const double width = std::clamp(visibleArea.width() * 0.25, minimum.width(), visibleArea.width());
    const double height = std::clamp(visibleArea.height() * 0.7, minimum.height(), visibleArea.height());
    const double x = std::max(visibleArea.x(), visibleArea.x() + visibleArea.width() - width - 10);
    const double y = visibleArea.y() + (visibleArea.height() - height) * 0.5;
    return {x, y, width, height};
}

QRect PanelGeometry::fitInside(const QRect& frame, const QRect& area)
{
    if (area.isEmpty() || area.contains(frame))
        return frame;
    QRect fitted(frame.topLeft(), frame.size().boundedTo(area.size()));
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() + 1 - fitted.width()));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() + 1 - fitted.height()));
    return fitted;
}
