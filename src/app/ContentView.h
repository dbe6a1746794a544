#pragma once

#include <QPointer>
#include <QWidget>

#include "browser/BrowserView.h"

class BrowserTabsModel;
class FilesStore;
class FilesView;
class FileManager;
class GearButton;
class Models;
class NotesBanner;
class NotesView;
class Popover;
class QAbstractButton;
class QAction;
class QLabel;
class QStackedWidget;
class SettingsView;
class ToolTabs;
class WebEngineProvider;
class WindowDragHandle;

// The root of the panel's content, top to bottom: the drag strip, the tab row
// (tool tabs and the settings gear), a divider and the tool area. All three
// tools live for the whole run; only the chosen one is shown and takes input.
class ContentView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int selectedTab READ selectedTab WRITE setSelectedTab NOTIFY selectedTabChanged)
    Q_PROPERTY(bool showSettings READ showSettings WRITE setShowSettings NOTIFY showSettingsChanged)

public:
    enum Tool
    {
        Notes = 0,
        Browser = 1,
        Files = 2
    };
    Q_ENUM(Tool)

    static constexpr QSize SettingsSize {330, 440};
    static constexpr int GearLeadingSpace = 8;

    // The views show `models`, which outlive them. `webEngines` may be null
    // (no web engine in this build or test): the Browser tool and the file
    // preview then say that they cannot show pages.
    explicit ContentView(Models& models, WebEngineProvider* webEngines = nullptr, QWidget* parent = nullptr);
    ~ContentView() override;

    int selectedTab() const { return m_selectedTab; }
    void setSelectedTab(int tab);
    bool showSettings() const { return m_showSettings; }
    void setShowSettings(bool show);

    // Puts a tool's real view in place of its placeholder; the view is kept
    // alive from then on, whether shown or not.
    void setToolView(Tool tool, QWidget* view);
    QWidget* toolView(Tool tool) const;

    // Where the browser's "Show in Folder" shows a download; set before the
    // browser is ready. Must outlive the view.
    void setFileManager(FileManager* fileManager);

    WindowDragHandle* dragHandle() const { return m_dragHandle; }
    ToolTabs* toolTabs() const { return m_toolTabs; }
    QAbstractButton* settingsButton() const;
    NotesView* notesView() const { return m_notesView; }
    FilesStore* filesStore() const;
    // Null once another view took the Files slot.
    FilesView* filesView() const;
    // The popup that holds the settings page; null until first opened.
    Popover* settingsPopover() const { return m_popover; }
    SettingsView* settingsView() const;
    QAction* screenshotAction() const { return m_screenshotAction; }
    QAction* quitAction() const { return m_quitAction; }
    // The area under the divider where the tools sit.
    QWidget* toolArea() const;
    // The browser's tabs and view; null until the web engine is ready.
    BrowserTabsModel* browserTabs() const;
    BrowserView* browserView() const { return m_browserView; }
    // The line the Browser tool shows until then, or when it cannot start.
    QLabel* browserStatus() const { return m_browserStatus; }
    // One line under the tab row that the user puts away with its ✕; for
    // what the panel has to say once, whichever tool is shown.
    void showNotice(const QString& text);
    NotesBanner* notice() const { return m_notice; }

    // Shelf files to the active tab's chat: the Browser comes to the front
    // and the page gets them in one paste event. With no tab to send to, or
    // a file that cannot go, the Files tool says why and nothing is sent.
    void sendToChat(const QList<QUrl>& files);

signals:
    void selectedTabChanged(int tab);
    void showSettingsChanged(bool show);
    // Ctrl+Shift+S while the Browser tool is showing: paste a screenshot into
    // the active page.
    void screenshotRequested();
    // The Browser tool's tabs and view are in place.
    void browserReady();
    // Ctrl+Q in the panel.
    void quitRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void focusSelectedTool();
    void screenshotShortcut();
    void setUpBrowser();
    void showBrowser();

    Models& m_models;
    WebEngineProvider* m_webEngines = nullptr;
    FileManager* m_fileManager = nullptr;

    int m_selectedTab = Notes;
    bool m_showSettings = false;

    WindowDragHandle* m_dragHandle = nullptr;
    QWidget* m_tabRow = nullptr;
    ToolTabs* m_toolTabs = nullptr;
    GearButton* m_gear = nullptr;
    QWidget* m_divider = nullptr;
    QStackedWidget* m_tools = nullptr;
    NotesView* m_notesView = nullptr;
    Popover* m_popover = nullptr;
    QAction* m_screenshotAction = nullptr;
    QLabel* m_browserStatus = nullptr;
    NotesBanner* m_notice = nullptr;
    QPointer<BrowserView> m_browserView;
    QAction* m_quitAction = nullptr;
};
