#pragma once

#include <memory>

#include <QObject>

#include "app/KeyboardActivation.h"
#include "app/Models.h"

class ClipboardService;
class ContentView;
class FileManager;
class FloatingPanel;
class ScreenCaptureService;
class HotkeyService;
class PanelWindowHints;
class PreferencesStore;
class StatusItem;
class WebEngineProvider;

// Owns the models (through Models), the tray item, the panel and the
// application-wide key filter for the whole run, and wires them together once
// the event loop is running.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // Making the delegate already registers the saved shortcut and loads the
    // notes file; nothing is shown until applicationDidFinishLaunching().
    AppDelegate(HotkeyService& hotkeys, PreferencesStore& defaults, PanelWindowHints& windowHints,
                const QString& documentsFolder, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The web engine for the Browser tool and the file preview; set before
    // launching finishes. Without one those tools say they cannot show pages.
    void setWebEngineProvider(WebEngineProvider* webEngines) { m_webEngines = webEngines; }
    // What the Browser tool's screenshot shortcut captures with and pastes
    // from; both outlive the delegate. Without them the shortcut does nothing.
    void setScreenshotServices(ClipboardService* clipboard, ScreenCaptureService* capture)
    {
        m_clipboard = clipboard;
        m_capture = capture;
    }

    // Where the tray's "reveal" and the browser's "Show in Folder" show a
    // file; outlives the delegate. Without one they do nothing.
    void setFileManager(FileManager* fileManager) { m_fileManager = fileManager; }

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void applicationWillResignActive();

    void toggleFrontPanelAction();
    // Shows the panel, making it first if need be; never hides it.
    void showPanel();
    void revealNotesFile();
    // Asks the bus whether a tray is there to hold the status item; where
    // none is (stock GNOME), the panel says once, on the first such start,
    // how to get back to it. Never waits for the answer.
    void lookForTray();
    // The notice lookForTray() shows.
    QString noTrayNotice() const;

    StatusItem* statusItem() const { return m_statusItem.get(); }
    FloatingPanel* panel() const { return m_panel.get(); }
    Models& models() { return m_models; }
    HotkeyManager& hotkeyManager() { return m_models.hotkeys(); }
    NotesStore& notesStore() { return m_models.notes(); }
    PanelSettings& panelSettings() { return m_models.panelSettings(); }

signals:
    // lookForTray() has its answer: whether a tray holds the status item.
    void trayLookedUp(bool found);

private:
    void setupStatusItem();
    void createPanel();
    void pasteScreenshot();

    PanelWindowHints& m_windowHints;
    PreferencesStore& m_defaults;
    WebEngineProvider* m_webEngines = nullptr;
    ClipboardService* m_clipboard = nullptr;
    ScreenCaptureService* m_capture = nullptr;
    FileManager* m_fileManager = nullptr;
    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<FloatingPanel> m_panel;
    // Declared after the panel, so destroyed before it: the browser's pages
    // leave while the panel's window that holds them is still there.
    Models m_models;
    KeyboardActivation m_keyboardActivation;
    QList<QMetaObject::Connection> m_cancellables;
};
