#include "SettingsStyle.h"

#include <algorithm>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace {
constexpr int SecondaryAlpha = 140;
constexpr const char* MutedProperty = "quillnookMuted";
} // namespace

QString SettingsStyle::roundedFamily()
{
    const QString candidates[] = {
        QStringLiteral("Nunito"),    QStringLiteral("Varela Round"), QStringLiteral("M PLUS Rounded 1c"),
        QStringLiteral("Quicksand"), QStringLiteral("Comfortaa"),
    };
    for (const auto& family : candidates) {
        if (QFontDatabase::hasFamily(family))
            return family;
    }
    return {};
}

bool SettingsStyle::hasEqualWidthDigits(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const auto width = metrics.horizontalAdvance(u'0');
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) != width)
            return false;
    }
    return true;
}

QFont SettingsStyle::scaledFont(const QFont& base, double points)
{
    auto scaled = base;
    if (scaled.pointSizeF() > 0)
        scaled.setPointSizeF(std::max(8.0, scaled.pointSizeF() * points / BodyPoints));
    else
        scaled.setPixelSize(std::max(11, qRound(scaled.pixelSize() * points / BodyPoints)));
    return scaled;
}

QColor SettingsStyle::secondaryColour(const QPalette& palette)
{
    auto colour = palette.color(QPalette::WindowText);
    colour.setAlpha(SecondaryAlpha);
    return colour;
}

QLabel* SettingsStyle::mutedLabel(const QString& text, const QFont& font)
{
    auto* label = new QLabel(text);
    label->setFont(font);
    label->setWordWrap(true);
    label->setProperty(MutedProperty, true);
    return label;
}

void SettingsStyle::applyColours(QWidget& root)
{
    const auto secondary = secondaryColour(root.palette());
    for (auto* label : root.findChildren<QLabel*>()) {
        if (!label->property(MutedProperty).toBool())
            continue;
        auto labelPalette = label->palette();
        labelPalette.setColor(QPalette::WindowText, secondary);
        label->setPalette(labelPalette);
    }
}
