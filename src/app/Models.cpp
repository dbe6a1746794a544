#include "Models.h"

#include <QFileInfo>

#include "browser/BrowserTabsModel.h"

Models::Models(HotkeyService& hotkeys, PreferencesStore& defaults, const QString& documentsFolder, QObject* parent)
    : QObject(parent)
    , m_hotkeys(hotkeys, defaults)
    , m_notes(documentsFolder)
    , m_files(QFileInfo(m_notes.filePath()).absolutePath())
    , m_panelSettings(defaults)
{ }

Models::~Models()
{
    m_browserTabs.reset();
}

BrowserTabsModel& Models::openBrowserTabs(WebEngine& engine, DialogHandlerFactory makeDialogHandler)
{
    if (!m_browserTabs)
        m_browserTabs = std::make_unique<BrowserTabsModel>(engine, std::move(makeDialogHandler));
    return *m_browserTabs;
}
