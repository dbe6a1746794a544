#include "SymbolButton.h"

#include <QPainter>
#include <QPainterPath>

SymbolButton::SymbolButton(Symbol symbol, const QString& accessibleName, int glyphSize, int width, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_glyphSize(glyphSize)
    , m_width(width)
{
    setAccessibleName(accessibleName);
    setToolTip(accessibleName);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolButton::setOpacity(qreal opacity)
{
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

QSize SymbolButton::sizeHint() const
{
    const int side = m_glyphSize + 6;
    return {m_width > 0 ? m_width : side, side};
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    if (m_opacity <= 0.0)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_opacity);
    QColor ink = palette().color(QPalette::WindowText);
    if (isDown())
        ink.setAlphaF(0.6);
    else if (!underMouse())
        ink.setAlphaF(0.85);
    // Bold strokes, as the small symbols of the tab strip are.
    const qreal stroke = qMax(1.5, m_glyphSize / 5.0);
    p.setPen(QPen(ink, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    const QPointF c = QRectF(rect()).center();
    const qreal h = m_glyphSize / 2.0;
    QPainterPath path;
    switch (m_symbol) {
    case Symbol::ChevronLeft:
        path.moveTo(c.x() + h / 2, c.y() - h);
        path.lineTo(c.x() - h / 2, c.y());
        path.lineTo(c.x() + h / 2, c.y() + h);
        break;
    case Symbol::ChevronRight:
        path.moveTo(c.x() - h / 2, c.y() - h);
        path.lineTo(c.x() + h / 2, c.y());
        path.lineTo(c.x() - h / 2, c.y() + h);
        break;
    case Symbol::Close:
        path.moveTo(c.x() - h * 0.75, c.y() - h * 0.75);
        path.lineTo(c.x() + h * 0.75, c.y() + h * 0.75);
        path.moveTo(c.x() + h * 0.75, c.y() - h * 0.75);
        path.lineTo(c.x() - h * 0.75, c.y() + h * 0.75);
        break;
    case Symbol::Plus:
        path.moveTo(c.x() - h, c.y());
        path.lineTo(c.x() + h, c.y());
        path.moveTo(c.x(), c.y() - h);
        path.lineTo(c.x(), c.y() + h);
        break;
    }
    p.drawPath(path);
    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        p.setPen(QPen(ring, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }
}
