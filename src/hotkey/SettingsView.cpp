#include "SettingsView.h"

#include "app/PanelSettings.h"
#include "hotkey/HotkeyManager.h"

SettingsView::SettingsView(HotkeyManager& hotkeyManager, PanelSettings& panelSettings, QWidget* parent)
    : QWidget(parent)
    , m_hotkeyManager(hotkeyManager)
    , m_panelSettings(panelSettings)
{ }

SettingsView::~SettingsView() = default;
