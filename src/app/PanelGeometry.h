#pragma once

#include <QRectF>

namespace PanelGeometry {
constexpr double MinimumWidth = 260;
constexpr double MinimumHeight = 240;

// The panel's first place in a screen's visible area: a quarter of its width,
// seven tenths of its height, 10 points from its right edge and vertically
// centred. The centring is symmetric, so the answer is the same whether y
// grows downwards or upwards.
QRectF initialRect(const QRectF& visibleArea);
} // namespace PanelGeometry
