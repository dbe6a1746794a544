#include "SettingsStyle.h"

#include <algorithm>

#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace {
constexpr int SecondaryAlpha = 140;
constexpr const char* MutedProperty = "quillnookMuted";
} // namespace

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
