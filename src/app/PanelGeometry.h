#pragma once

#include <QRect>
#include <QRectF>
#include <QSizeF>

namespace PanelGeometry {
constexpr double MinimumWidth = 260;
constexpr double MinimumHeight = 240;

// The panel's first place in a screen's visible area: a quarter of its width
// and seven tenths of its height, but no less than the minimum size, 10
// points from its right edge and vertically centred. It always lies wholly
// inside the area: the minimum size counts before the position is chosen,
// and an area smaller than the minimum gets a panel as large as the area.
// The centring is symmetric, so the answer is the same whether y grows
// downwards or upwards.
QRectF initialRect(const QRectF& visibleArea);

// The minimum size, or the area's size where that is smaller.
QSizeF minimumSize(const QRectF& visibleArea);

// The frame moved (and where it is too large, shrunk) just enough to lie
// wholly inside the area; a frame already inside comes back unchanged.
QRect fitInside(const QRect& frame, const QRect& area);
} // namespace PanelGeometry
