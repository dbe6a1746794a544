#include "OverlayScrollBar.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int EdgeGap = 2;
} // namespace

OverlayScrollBar::OverlayScrollBar(QAbstractScrollArea* area, int endInset)
    : QScrollBar(Qt::Vertical, area)
    , m_area(area)
    , m_endInset(endInset)
{
    setObjectName(QStringLiteral("overlayScrollBar"));
    setAccessibleName(QStringLiteral("Scroll"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QScrollBar* inner = area->verticalScrollBar();
    connect(inner, &QScrollBar::rangeChanged, this, &OverlayScrollBar::follow);
    connect(inner, &QScrollBar::valueChanged, this, &QScrollBar::setValue);
    connect(this, &QScrollBar::valueChanged, inner, &QScrollBar::setValue);
    area->installEventFilter(this);
    follow();
    place();
}

void OverlayScrollBar::follow()
{
    const QScrollBar* inner = m_area->verticalScrollBar();
    setRange(inner->minimum(), inner->maximum());
    setPageStep(inner->pageStep());
    setSingleStep(inner->singleStep());
    setValue(inner->value());
    setVisible(inner->maximum() > inner->minimum());
    raise();
}

void OverlayScrollBar::place()
{
    const QRect area = m_area->rect();
    setGeometry(area.right() + 1 - Thickness - EdgeGap, area.top() + m_endInset, Thickness,
                qMax(0, area.height() - 2 * m_endInset));
    raise();
}

bool OverlayScrollBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_area && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        place();
    return QScrollBar::eventFilter(watched, event);
}

QRectF OverlayScrollBar::handleRect() const
{
    const int span = maximum() - minimum() + pageStep();
    if (span <= 0 || maximum() <= minimum())
        return {};
    const qreal length = qMax(24.0, qreal(height()) * pageStep() / span);
    const qreal travel = height() - length;
    const qreal offset = travel * (value() - minimum()) / (maximum() - minimum());
    return {0, offset, qreal(width()), length};
}

int OverlayScrollBar::valueAt(qreal handleTop) const
{
    const qreal travel = height() - handleRect().height();
    if (travel <= 0)
        return minimum();
    return minimum() + qRound(qBound(0.0, handleTop / travel, 1.0) * (maximum() - minimum()));
}

void OverlayScrollBar::paintEvent(QPaintEvent*)
{
    const QRectF handle = handleRect();
    if (handle.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor colour = palette().color(QPalette::WindowText);
    colour.setAlphaF(m_grabOffset >= 0 || underMouse() ? 0.45 : 0.3);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(handle, width() / 2.0, width() / 2.0);
}

void OverlayScrollBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QRectF handle = handleRect();
    const qreal y = event->position().y();
    // A press beside the handle brings the handle's middle there first.
    if (!handle.contains(QPointF(handle.center().x(), y)))
        setValue(valueAt(y - handle.height() / 2));
    m_grabOffset = y - handleRect().top();
    update();
    event->accept();
}

void OverlayScrollBar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grabOffset < 0)
        return;
    setValue(valueAt(event->position().y() - m_grabOffset));
    event->accept();
}

void OverlayScrollBar::mouseReleaseEvent(QMouseEvent* event)
{
    m_grabOffset = -1;
    update();
    event->accept();
}
