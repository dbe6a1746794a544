#pragma once

#include <memory>

#include <QObject>

#include "browser/BrowserDialogHandler.h"
#include "files/FilesStore.h"
#include "hotkey/HotkeyManager.h"
#include "notes/NotesStore.h"
#include "settings/PanelSettings.h"

class BrowserTabsModel;
class HotkeyService;
class PreferencesStore;
class WebEngine;

// Every model of the run, made in one place and handed to the views: the
// notes, the file shelf, the hot keys, the panel's settings and, once the
// web engine is there, the browser's tabs. The views only borrow them.
class Models : public QObject
{
    Q_OBJECT

public:
    // Registers the saved shortcut and loads the notes file at once. The
    // shelf sits beside the notes file, in the documents folder given.
    Models(HotkeyService& hotkeys, PreferencesStore& defaults, const QString& documentsFolder,
           QObject* parent = nullptr);
    // The browser's tabs go first: their pages' engine windows sit in the
    // panel, which the owner destroys after the models.
    ~Models() override;

    NotesStore& notes() { return m_notes; }
    FilesStore& files() { return m_files; }
    HotkeyManager& hotkeys() { return m_hotkeys; }
    const HotkeyManager& hotkeys() const { return m_hotkeys; }
    PanelSettings& panelSettings() { return m_panelSettings; }

    // Null until openBrowserTabs().
    BrowserTabsModel* browserTabs() const { return m_browserTabs.get(); }
    // Makes the tabs on the engine once; later calls return the same tabs.
    BrowserTabsModel& openBrowserTabs(WebEngine& engine, DialogHandlerFactory makeDialogHandler);

private:
    HotkeyManager m_hotkeys;
    NotesStore m_notes;
    FilesStore m_files;
    PanelSettings m_panelSettings;
    std::unique_ptr<BrowserTabsModel> m_browserTabs;
};
