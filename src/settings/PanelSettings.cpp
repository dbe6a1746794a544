#include "PanelSettings.h"

#include "platform/PreferencesStore.h"

namespace {
const QString opacityKey = QStringLiteral("panelOpacity");
}

PanelSettings::PanelSettings(PreferencesStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    const auto stored = m_defaults.readDouble(opacityKey);
    if (stored && *stored >= MinimumOpacity && *stored <= MaximumOpacity)
        m_opacity = *stored;
}

void PanelSettings::setOpacity(double opacity)
{
    m_opacity = opacity;
    emit opacityChanged(opacity);
    m_defaults.writeDouble(opacityKey, opacity);
}
