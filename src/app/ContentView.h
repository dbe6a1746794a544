#pragma once

#include <QWidget>

class HotkeyManager;
class NotesStore;
class PanelSettings;

// The root of the panel's content.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    ContentView(NotesStore& notesStore, HotkeyManager& hotkeyManager, PanelSettings& panelSettings,
                QWidget* parent = nullptr);

private:
    NotesStore& m_notesStore;
    HotkeyManager& m_hotkeyManager;
    PanelSettings& m_panelSettings;
};
