#pragma once

#include <cstdint>

#include <QWidget>

class HotkeyManager;
class PanelSettings;

// The panel's settings and help page: records a new toggle shortcut, sets the
// panel's transparency, explains the screenshot shortcut and links to support.
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    SettingsView(HotkeyManager& hotkeyManager, PanelSettings& panelSettings, QWidget* parent = nullptr);
    ~SettingsView() override;

private:
    HotkeyManager& m_hotkeyManager;
    PanelSettings& m_panelSettings;
};
