#include "Popover.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr qreal CornerRadius = 10;
constexpr int ScreenMargin = 6;
constexpr int BorderWidth = 1;
} // namespace

Popover::Popover(QWidget* anchor, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_anchor(anchor)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(BorderWidth, ArrowHeight + BorderWidth, BorderWidth, BorderWidth);
    layout->setSpacing(0);
}

void Popover::setContent(QWidget* content)
{
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    layout()->addWidget(content);
    const QSize size = content->minimumSize().expandedTo(content->sizeHint());
    setFixedSize(size.width() + 2 * BorderWidth, size.height() + ArrowHeight + 2 * BorderWidth);
}

void Popover::popup(const QRect& anchorRect)
{
    if (!m_anchor)
        return;
    const QRect anchor(m_anchor->mapToGlobal(anchorRect.topLeft()), anchorRect.size());
    QPoint topLeft(anchor.center().x() - width() / 2, anchor.bottom() + 1);
    if (QScreen* screen = m_anchor->screen()) {
        const QRect area
            = screen->availableGeometry().adjusted(ScreenMargin, ScreenMargin, -ScreenMargin, -ScreenMargin);
        topLeft.setX(qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() + 1 - width())));
    }
    m_arrowX = qBound(CornerRadius + ArrowWidth / 2.0, qreal(anchor.center().x() - topLeft.x()),
                      width() - CornerRadius - ArrowWidth / 2.0);
    move(topLeft);
    updateMask();
    update();
    show();
}

QPainterPath Popover::outline() const
{
    QPainterPath body;
    body.addRoundedRect(QRectF(0, ArrowHeight, width(), height() - ArrowHeight), CornerRadius, CornerRadius);
    QPainterPath arrow;
    arrow.moveTo(m_arrowX - ArrowWidth / 2.0, ArrowHeight + 1);
    arrow.lineTo(m_arrowX, 0);
    arrow.lineTo(m_arrowX + ArrowWidth / 2.0, ArrowHeight + 1);
    arrow.closeSubpath();
    return body.united(arrow);
}

void Popover::updateMask()
{
    // Without a compositor a popup cannot be see-through; a shaped window
    // still gives it its rounded corners and arrow.
    setMask(QRegion(outline().toFillPolygon().toPolygon()));
}

void Popover::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.22);
    // A 2-px stroke clipped to the shape leaves a 1-px border inside it.
    const QPainterPath shape = outline();
    p.setClipPath(shape);
    p.setPen(QPen(border, 2));
    p.setBrush(palette().color(QPalette::Window));
    p.drawPath(shape);
}

void Popover::mousePressEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A press outside closes the popover and then does what it would have done
    // anyway, except on the anchor: there it would open the popover again.
    // Platforms differ in whether they hand the press on, so it is done here.
    setAttribute(Qt::WA_NoMouseReplay);
    const QPoint global = event->globalPosition().toPoint();
    const bool onAnchor = m_anchor && m_anchor->rect().contains(m_anchor->mapFromGlobal(global));
    close();
    event->accept();
    if (onAnchor)
        return;
    QWidget* target = QApplication::widgetAt(global);
    if (!target)
        return;
    const QPointF local = target->mapFromGlobal(event->globalPosition());
    const QPointF scene = target->window()->mapFromGlobal(event->globalPosition());
    QCoreApplication::postEvent(target,
                                new QMouseEvent(QEvent::MouseButtonPress, local, scene, event->globalPosition(),
                                                event->button(), event->buttons(), event->modifiers(),
                                                event->pointingDevice()));
}

void Popover::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Keyboard users land on the page's first control.
    if (m_content)
        m_content->setFocus(Qt::PopupFocusReason);
    emit shownChanged(true);
}

void Popover::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit shownChanged(false);
}

void Popover::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateMask();
}
