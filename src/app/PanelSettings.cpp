#include "PanelSettings.h"

#include "platform/PreferencesStore.h"

namespace {
const QString opacityKey = QStringLiteral("panelOpacity");
}

PanelSettings::PanelSettings(PreferencesStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    m_opacity = m_defaults.readDouble(opacityKey).value_or(DefaultOpacity);
}

void PanelSettings::setOpacity(double opacity)
{
    m_opacity = opacity;
    emit opacityChanged(opacity);
    m_defaults.writeDouble(opacityKey, opacity);
}
