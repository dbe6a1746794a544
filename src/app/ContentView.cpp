#include "ContentView.h"

ContentView::ContentView(NotesStore& notesStore, HotkeyManager& hotkeyManager, PanelSettings& panelSettings,
                         QWidget* parent)
    : QWidget(parent)
    , m_notesStore(notesStore)
    , m_hotkeyManager(hotkeyManager)
    , m_panelSettings(panelSettings)
{
}
