#include "GearButton.h"

#include <cmath>
#include <numbers>

#include <QPainter>
#include <QPainterPath>

namespace {
// About the size of a 13-px symbol.
constexpr qreal OuterRadius = 7.5;
constexpr qreal RootRadius = 5.8;
constexpr qreal HoleRadius = 2.5;
constexpr int Teeth = 8;

QPainterPath gearPath(const QPointF& centre)
{
    QPainterPath path;
    const qreal step = 2 * std::numbers::pi / Teeth;
    auto at = [&](qreal radius, qreal angle) {
        return centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    };
    for (int i = 0; i < Teeth; ++i) {
        const qreal a = i * step - std::numbers::pi / 2;
        const QPointF points[] = {at(RootRadius, a - 0.30), at(OuterRadius, a - 0.17), at(OuterRadius, a + 0.17),
                                  at(RootRadius, a + 0.30)};
        for (const QPointF& point : points) {
            if (path.elementCount() == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
    }
    path.closeSubpath();
    path.addEllipse(centre, HoleRadius, HoleRadius);
    path.setFillRule(Qt::OddEvenFill);
    return path;
}
} // namespace

GearButton::GearButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setAccessibleName(QStringLiteral("Settings"));
    setToolTip(QStringLiteral("Settings"));
    // A Tab stop, but a click leaves the focus where the user is typing.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setFixedSize(ButtonSize, ButtonSize);
}

QSize GearButton::sizeHint() const
{
    return QSize(ButtonSize, ButtonSize);
}

void GearButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        ring.setAlphaF(0.8);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
    }
    QColor ink = palette().color(QPalette::WindowText);
    ink.setAlphaF(isDown() || isChecked() ? 1.0 : underMouse() ? 0.85 : 0.68);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(gearPath(QRectF(rect()).center()));
}
