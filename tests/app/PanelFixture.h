#pragma once

#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "app/ContentView.h"
#include "app/FloatingPanel.h"
#include "app/KeyboardActivation.h"
#include "app/Models.h"
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
        , view(new ContentView(models))
    {
        panel.setContentView(view);
    }

    QPlainTextEdit* editor() const { return view->notesView()->editor(); }

    QTemporaryDir dir;
    IniPreferences prefs {dir.filePath(QStringLiteral("Quillnook.conf"))};
    RecordingHotkeyService hotkeys;
    Models models {hotkeys, prefs, dir.path()};
    HotkeyManager& hotkeyManager = models.hotkeys();
    NotesStore& notesStore = models.notes();
    PanelSettings& panelSettings = models.panelSettings();
    KeyboardActivation keyboardActivation;
    NullPanelWindowHints hints;
    FloatingPanel panel;
    ContentView* view;
};
