#include "FileTypeIcon.h"

#include <QMimeType>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace FileTypeIcon {

namespace {

QColor familyColour(const QMimeType& type)
{
    const QString name = type.name();
    const auto is = [&](const char* prefix) { return name.startsWith(QLatin1String(prefix)); };
    if (name == QLatin1String("application/pdf"))
        return QColor(0xd9, 0x3f, 0x3f);
    if (is("image/"))
        return QColor(0x3a, 0xa6, 0x5c);
    if (is("video/"))
        return QColor(0x8a, 0x4f, 0xd1);
    if (is("audio/"))
        return QColor(0xd1, 0x4f, 0x97);
    if (name.contains(QLatin1String("presentation")) || name.contains(QLatin1String("powerpoint")))
        return QColor(0xe0, 0x7b, 0x22);
    if (name.contains(QLatin1String("spreadsheet")) || name.contains(QLatin1String("excel"))
        || name == QLatin1String("text/csv"))
        return QColor(0x1f, 0x8a, 0x4c);
    if (name.contains(QLatin1String("zip")) || name.contains(QLatin1String("compressed"))
        || name.contains(QLatin1String("tar")) || name.contains(QLatin1String("archive")))
        return QColor(0x9a, 0x72, 0x3c);
    if (name.contains(QLatin1String("word")) || name.contains(QLatin1String("opendocument.text")))
        return QColor(0x2f, 0x6f, 0xd6);
    return QColor(0x70, 0x7a, 0x86);
}

void drawFolder(QPainter& p, qreal s)
{
    const QColor blue(0x5b, 0x9b, 0xe6);
    QPainterPath back;
    back.addRoundedRect(QRectF(s * 0.06, s * 0.18, s * 0.88, s * 0.70), s * 0.06, s * 0.06);
    back.addRoundedRect(QRectF(s * 0.06, s * 0.12, s * 0.38, s * 0.14), s * 0.05, s * 0.05);
    p.fillPath(back.simplified(), blue.darker(115));
    QPainterPath front;
    front.addRoundedRect(QRectF(s * 0.06, s * 0.30, s * 0.88, s * 0.58), s * 0.06, s * 0.06);
    p.fillPath(front, blue);
}

void drawPage(QPainter& p, qreal s, const QColor& colour, const QString& label)
{
    const qreal left = s * 0.16;
    const qreal right = s * 0.84;
    const qreal top = s * 0.04;
    const qreal bottom = s * 0.96;
    const qreal fold = s * 0.22;
    QPainterPath page;
    page.moveTo(left, top);
    page.lineTo(right - fold, top);
    page.lineTo(right, top + fold);
    page.lineTo(right, bottom);
    page.lineTo(left, bottom);
    page.closeSubpath();
    p.fillPath(page, QColor(0xfb, 0xfb, 0xfb));
    p.setPen(QPen(QColor(0, 0, 0, 60), std::max(1.0, s / 40)));
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(right - fold, top);
    corner.lineTo(right - fold, top + fold);
    corner.lineTo(right, top + fold);
    corner.closeSubpath();
    p.fillPath(corner, QColor(0xdd, 0xdd, 0xdd));
    p.drawPath(corner);

    const QRectF band(left, s * 0.56, right - left, s * 0.26);
    p.fillRect(band, colour);
    if (label.isEmpty() || s < 20)
        return;
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(6, int(s * (label.size() > 3 ? 0.17 : 0.2))));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(band, Qt::AlignCenter, label);
}

} // namespace

QIcon make(const QMimeType& type)
{
    const bool folder = type.inherits(QStringLiteral("inode/directory"));
    const QString label = type.preferredSuffix().left(4).toUpper();
    QIcon icon;
    // The row's size, twice it for dense screens, and the preview's.
    for (const int size : {26, 52, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        if (folder)
            drawFolder(p, size);
        else
            drawPage(p, size, familyColour(type), label);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace FileTypeIcon
