#include "WindowDragHandle.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/PanelStyle.h"

WindowDragHandle::WindowDragHandle(QWidget* parent)
    : QWidget(parent)
{
    setFixedHeight(StripHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Move Panel"));
}

QRect WindowDragHandle::capsuleRect() const
{
    return QRect(QPoint((width() - CapsuleSize.width()) / 2, (height() - CapsuleSize.height()) / 2), CapsuleSize);
}

void WindowDragHandle::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(PanelStyle::secondary(palette(), 0.25));
    const QRectF capsule(capsuleRect());
    p.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
}

void WindowDragHandle::mousePressEvent(QMouseEvent* event)
{
    // The capsule is only paint, so a press on it lands here as well.
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (QWindow* handle = window()->windowHandle())
        handle->startSystemMove();
    event->accept();
}
