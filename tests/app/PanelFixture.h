#pragma once

#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "app/ContentView.h"
#include "app/FloatingPanel.h"
#include "settings/PanelSettings.h"
#include "hotkey/HotkeyManager.h"
#include "notes/NotesStore.h"
#include "notes/NotesView.h"
#include "platform/IniPreferences.h"
#include "platform/PanelWindowHints.h"
#include "support/RecordingHotkeyService.h"

// The panel with its content, over the models the application delegate
// owns, all on throwaway files.
struct PanelFixture
{
    explicit PanelFixture(const QRect& geometry)
        : panel(geometry, hints)
        , view(new ContentView(notesStore, hotkeyManager, panelSettings))
    {
        panel.setContentView(view);
    }

    QPlainTextEdit* editor() const { return view->notesView()->editor(); }

    QTemporaryDir dir;
    IniPreferences prefs {dir.filePath(QStringLiteral("Quillnook.conf"))};
    RecordingHotkeyService hotkeys;
    HotkeyManager hotkeyManager {hotkeys, prefs};
    NotesStore notesStore {dir.path()};
    PanelSettings panelSettings {prefs};
    NullPanelWindowHints hints;
    FloatingPanel panel;
    ContentView* view;
};
