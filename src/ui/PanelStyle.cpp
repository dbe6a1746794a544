#include "PanelStyle.h"

#include <QFontDatabase>
#include <QPalette>

namespace PanelStyle {

QString roundedFamily()
{
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name :
             {"Quicksand", "Nunito", "Varela Round", "M PLUS Rounded 1c", "Rounded Mplus 1c", "Comfortaa"}) {
            const QString candidate = QString::fromLatin1(name);
            if (installed.contains(candidate, Qt::CaseInsensitive))
                return candidate;
        }
        return QString();
    }();
    return family;
}

QFont roundedFont(int pixelSize)
{
    const QString family = roundedFamily();
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondary(const QPalette& palette, qreal opacity)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55 * opacity);
    return color;
}

QColor backgroundWash(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 255, 255, 8) : QColor(255, 255, 255, 70);
}

QColor tabRowWash(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 255, 255, 14) : QColor(255, 255, 255, 120);
}

QColor divider(const QPalette& palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.5 * 0.25);
    return color;
}

} // namespace PanelStyle
