#include "FileSymbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace FileSymbols {

namespace {

// Every symbol is drawn on a 24 x 24 grid, then scaled into its box.
constexpr qreal Grid = 24;

struct Corner
{
    QPointF at;
    // How far along each side the rounding starts; 0 leaves the corner square.
    qreal radius = 0;
};

// The outline through `corners` in order, each rounded by a curve that
// starts `radius` before it and ends `radius` after it along its two sides.
// The first and last points are ends, never rounded.
QPainterPath outline(std::initializer_list<Corner> corners)
{
    QPainterPath path;
    const Corner* points = corners.begin();
    const std::size_t count = corners.size();
    path.moveTo(points[0].at);
    for (std::size_t i = 1; i < count; ++i) {
        const Corner& corner = points[i];
        if (corner.radius <= 0 || i + 1 == count) {
            path.lineTo(corner.at);
            continue;
        }
        QLineF in(corner.at, points[i - 1].at);
        QLineF out(corner.at, points[i + 1].at);
        in.setLength(corner.radius);
        out.setLength(corner.radius);
        path.lineTo(in.p2());
        path.quadTo(corner.at, out.p2());
    }
    return path;
}

void drawTray(QPainter& p, bool full)
{
    QPainterPath tray = outline({{{3, 13}}, {{6, 5}}, {{18, 5}}, {{21, 13}}, {{21, 20}, 1}, {{3, 20}, 1}, {{3, 13}}});
    tray.closeSubpath();
    QPainterPath well;
    well.moveTo(3, 13);
    well.lineTo(8.5, 13);
    well.quadTo(9, 16, 12, 16);
    well.quadTo(15, 16, 15.5, 13);
    well.lineTo(21, 13);
    if (full) {
        p.save();
        p.setBrush(p.pen().color());
        p.drawPath(tray);
        QPen cut = p.pen();
        cut.setColor(Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setBrush(Qt::NoBrush);
        p.drawPath(well);
        p.restore();
    } else {
        p.drawPath(tray);
        p.drawPath(well);
    }
}

void drawSymbol(QPainter& p, Symbol symbol)
{
    switch (symbol) {
    case Symbol::Tray:
        drawTray(p, true);
        break;
    case Symbol::Plus:
        p.drawLine(QPointF(12, 4), QPointF(12, 20));
        p.drawLine(QPointF(4, 12), QPointF(20, 12));
        break;
    case Symbol::ChevronLeft:
        p.drawPolyline(QPolygonF({QPointF(15, 4), QPointF(7, 12), QPointF(15, 20)}));
        break;
    case Symbol::OpenExternal: {
        p.drawPath(outline({{{11, 5}}, {{4, 5}, 2}, {{4, 20}, 2}, {{19, 20}, 2}, {{19, 13}}}));
        p.drawLine(QPointF(11, 13), QPointF(20, 4));
        p.drawPolyline(QPolygonF({QPointF(14, 4), QPointF(20, 4), QPointF(20, 10)}));
        break;
    }
    case Symbol::Send: {
        QPainterPath plane;
        plane.moveTo(3, 11);
        plane.lineTo(21, 3);
        plane.lineTo(14, 21);
        plane.lineTo(11, 13);
        plane.closeSubpath();
        p.drawPath(plane);
        p.drawLine(QPointF(11, 13), QPointF(21, 3));
        break;
    }
    case Symbol::Trash: {
        p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
        p.drawPolyline(QPolygonF({QPointF(9, 6.5), QPointF(9.5, 3.5), QPointF(14.5, 3.5), QPointF(15, 6.5)}));
        QPainterPath can;
        can.moveTo(6, 6.5);
        can.lineTo(7, 19);
        can.quadTo(7.2, 20.5, 8.7, 20.5);
        can.lineTo(15.3, 20.5);
        can.quadTo(16.8, 20.5, 17, 19);
        can.lineTo(18, 6.5);
        p.drawPath(can);
        p.drawLine(QPointF(10, 10), QPointF(10.3, 17));
        p.drawLine(QPointF(14, 10), QPointF(13.7, 17));
        break;
    }
    case Symbol::DocumentAdd: {
        QPainterPath page = outline({{{13, 2.5}}, {{4, 2.5}, 2}, {{4, 21.5}, 2}, {{11, 21.5}}});
        page.moveTo(13, 2.5);
        page.lineTo(19, 8.5);
        page.lineTo(19, 12);
        page.moveTo(13, 2.5);
        page.lineTo(13, 8.5);
        page.lineTo(19, 8.5);
        p.drawPath(page);
        p.drawLine(QPointF(17.5, 14.5), QPointF(17.5, 22));
        p.drawLine(QPointF(13.75, 18.25), QPointF(21.25, 18.25));
        break;
    }
    case Symbol::TrayArrowDown:
        drawTray(p, false);
        p.drawLine(QPointF(12, 1.5), QPointF(12, 11));
        p.drawPolyline(QPolygonF({QPointF(8.5, 7.5), QPointF(12, 11), QPointF(15.5, 7.5)}));
        break;
    }
}

} // namespace

void paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color, qreal lineWidth)
{
    const qreal side = std::min(box.width(), box.height());
    const qreal scale = side / Grid;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center() - QPointF(side / 2, side / 2));
    painter.scale(scale, scale);
    QPen pen(color, lineWidth / scale * (side / 16.0 > 1 ? side / 16.0 : 1.0), Qt::SolidLine, Qt::RoundCap,
             Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    drawSymbol(painter, symbol);
    painter.restore();
}

QIcon icon(Symbol symbol, const QColor& color, int size)
{
    QIcon result;
    for (const qreal ratio : {1.0, 2.0}) {
        QPixmap pixmap(QSize(size, size) * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        paint(p, symbol, QRectF(0, 0, size, size), color);
        p.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace FileSymbols
