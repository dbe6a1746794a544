#include "SymbolIcons.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QStringList>

namespace {
QPixmap drawSymbol(const QString& symbolName, const QColor& colour)
{
    constexpr int size = 64;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);

    if (symbolName == u"camera.viewfinder") {
        // Corner brackets around a small camera body.
        const QPointF corners[][3] = {
            {{6, 20}, {6, 6}, {20, 6}},
            {{44, 6}, {58, 6}, {58, 20}},
            {{58, 44}, {58, 58}, {44, 58}},
            {{20, 58}, {6, 58}, {6, 44}},
        };
        for (const auto& corner : corners)
            painter.drawPolyline(corner, 3);
        painter.drawRoundedRect(QRectF(17, 24, 30, 21), 4, 4);
        painter.drawRect(QRectF(26, 20, 12, 4));
        painter.drawEllipse(QPointF(32, 34.5), 5.5, 5.5);
    } else if (symbolName == u"circle.lefthalf.filled") {
        const QRectF circle(6, 6, 52, 52);
        painter.drawEllipse(circle);
        painter.setBrush(colour);
        painter.drawPie(circle, 90 * 16, 180 * 16);
    } else if (symbolName == u"envelope") {
        painter.drawRoundedRect(QRectF(5, 13, 54, 38), 5, 5);
        const QPointF flap[] = {{7, 16}, {32, 36}, {57, 16}};
        painter.drawPolyline(flap, 3);
    } else if (symbolName == u"gearshape.fill") {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.translate(size / 2.0, size / 2.0);
        for (int tooth = 0; tooth < 8; ++tooth) {
            painter.drawRoundedRect(QRectF(-6, -30, 12, 16), 2, 2);
            painter.rotate(45);
        }
        painter.drawEllipse(QPointF(0, 0), 20, 20);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.drawEllipse(QPointF(0, 0), 8, 8);
    }
    return pixmap;
}
} // namespace

QIcon SymbolIcons::icon(const QString& symbolName, const QColor& colour)
{
    static const QHash<QString, QStringList> themeNames = {
        {QStringLiteral("camera.viewfinder"), {QStringLiteral("camera-photo")}},
        {QStringLiteral("circle.lefthalf.filled"), {QStringLiteral("contrast")}},
        {QStringLiteral("envelope"), {QStringLiteral("mail-unread"), QStringLiteral("mail-message")}},
        {QStringLiteral("gearshape.fill"), {QStringLiteral("emblem-system"), QStringLiteral("preferences-system")}},
    };
    for (const auto& name : themeNames.value(symbolName)) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return QIcon(drawSymbol(symbolName, colour));
}
