#include "ContentView.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/FloatingPanel.h"
#include "app/Models.h"
#include "app/Popover.h"
#include "app/ToolTabs.h"
#include "app/WindowDragHandle.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserView.h"
#include "browser/WebDialogHandler.h"
#include "files/FilesView.h"
#include "notes/NotesBanner.h"
#include "notes/NotesView.h"
#include "screenshot/FileToChat.h"
#include "settings/SettingsView.h"
#include "ui/GearButton.h"
#include "ui/PanelAccessible.h"
#include "ui/PanelStyle.h"
#include "web/WebEngineProvider.h"

namespace {
constexpr int RowInset = 10;

QWidget* makePlaceholderTool(const QString& name)
{
    auto* tool = new QWidget;
    tool->setObjectName(name);
    tool->setAccessibleName(name);
    return tool;
}
} // namespace

ContentView::ContentView(Models& models, WebEngineProvider* webEngines, QWidget* parent)
    : QWidget(parent)
    , m_models(models)
    , m_webEngines(webEngines)
{
    setObjectName(QStringLiteral("ContentView"));
    // One rounded face for every tool; children that size their own text
    // keep the family.
    if (const QString family = PanelStyle::roundedFamily(); !family.isEmpty()) {
        QFont rounded = font();
        rounded.setFamilies({family});
        setFont(rounded);
    }

    m_dragHandle = new WindowDragHandle(this);

    // Widgets are made in visual order, which is also the Tab order:
    // tool tabs, gear, then the chosen tool.
    m_tabRow = new QWidget(this);
    m_toolTabs = new ToolTabs({QStringLiteral("Notes"), QStringLiteral("Browser"), QStringLiteral("Files")}, m_tabRow);
    m_gear = new GearButton(m_tabRow);
    auto* row = new QHBoxLayout(m_tabRow);
    // The panel's window buttons sit in the leading part of this row.
    // The taller drag strip takes its extra height out of the row's top inset,
    // so the row stays level with the window buttons.
    row->setContentsMargins(FloatingPanel::WindowButtonsWidth, RowInset - (WindowDragHandle::StripHeight - 6), RowInset,
                            RowInset);
    row->setSpacing(8);
    row->addWidget(m_toolTabs, 1, Qt::AlignVCenter);
    row->addSpacing(GearLeadingSpace);
    row->addWidget(m_gear, 0, Qt::AlignVCenter);

    m_divider = new QWidget(this);
    m_divider->setFixedHeight(1);

    m_tools = new QuietStack(this);
    m_notesView = new NotesView(m_models.notes());
    m_tools->addWidget(m_notesView);
    m_tools->addWidget(makePlaceholderTool(QStringLiteral("Browser")));
    setUpBrowser();
    auto* files = new FilesView(m_models.files(), m_webEngines);
    connect(files, &FilesView::sendToChatRequested, this, &ContentView::sendToChat);
    m_tools->addWidget(files);
    m_tools->setCurrentIndex(m_selectedTab);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_dragHandle);
    column->addWidget(m_tabRow);
    column->addWidget(m_divider);
    m_notice = new NotesBanner(this);
    m_notice->setObjectName(QStringLiteral("panelNotice"));
    connect(m_notice, &NotesBanner::dismissRequested, m_notice, &NotesBanner::clearNotice);
    column->addWidget(m_notice);
    column->addWidget(m_tools, 1);

    connect(m_toolTabs, &ToolTabs::currentIndexChanged, this, &ContentView::setSelectedTab);
    connect(m_gear, &QAbstractButton::clicked, this, [this] { setShowSettings(!m_showSettings); });

    // Quitting from the keyboard, without the tray menu.
    m_quitAction = new QAction(QStringLiteral("Quit"), this);
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quitAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_quitAction, &QAction::triggered, this, &ContentView::quitRequested);
    addAction(m_quitAction);

    PanelAccessible::install();

    m_screenshotAction = new QAction(this);
    m_screenshotAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_screenshotAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_screenshotAction, &QAction::triggered, this, &ContentView::screenshotShortcut);
    addAction(m_screenshotAction);
}

void ContentView::showNotice(const QString& text)
{
    m_notice->showNotice(text, false, false, true);
}

ContentView::~ContentView() = default;

void ContentView::setFileManager(FileManager* fileManager)
{
    m_fileManager = fileManager;
    if (m_browserView)
        m_browserView->setFileManager(fileManager);
}

FilesStore* ContentView::filesStore() const
{
    return &m_models.files();
}

BrowserTabsModel* ContentView::browserTabs() const
{
    return m_models.browserTabs();
}

void ContentView::setUpBrowser()
{
    QWidget* placeholder = m_tools->widget(Browser);
    m_browserStatus = new QLabel(placeholder);
    m_browserStatus->setAlignment(Qt::AlignCenter);
    m_browserStatus->setTextFormat(Qt::PlainText);
    // One sentence; wrapped rather than widening the panel.
    m_browserStatus->setWordWrap(true);
    auto* column = new QVBoxLayout(placeholder);
    column->addWidget(m_browserStatus);

    if (!m_webEngines) {
        m_browserStatus->setText(QStringLiteral("This build of Quillnook cannot show web pages."));
        return;
    }
    m_browserStatus->setText(QStringLiteral("Starting the browser…"));
    connect(m_webEngines, &WebEngineProvider::ready, this, &ContentView::showBrowser);
    connect(m_webEngines, &WebEngineProvider::unavailable, this, [this](const QString& reason) {
        if (m_browserStatus)
            m_browserStatus->setText(reason.simplified());
    });
    if (m_webEngines->engine())
        showBrowser();
    else if (m_webEngines->isUnavailable())
        m_browserStatus->setText(m_webEngines->unavailableReason().simplified());
}

void ContentView::showBrowser()
{
    WebEngine* engine = m_webEngines ? m_webEngines->engine() : nullptr;
    if (!engine || m_browserView)
        return;
    // A page's dialog brings the panel up first and sits over it.
    // The tabs outlive this view when their owner keeps them longer.
    auto bringPanelToFront = [view = QPointer<ContentView>(this)]() -> QWidget* {
        if (!view)
            return nullptr;
        QWidget* panel = view->window();
        if (auto* floating = qobject_cast<FloatingPanel*>(panel)) {
            floating->orderFrontAndFocus();
        } else {
            panel->show();
            panel->raise();
            panel->activateWindow();
        }
        return panel;
    };
    BrowserTabsModel& tabs = m_models.openBrowserTabs(
        *engine, [bringPanelToFront] { return std::make_unique<WebDialogHandler>(bringPanelToFront); });
    m_browserView = new BrowserView(tabs);
    m_browserView->setFileManager(m_fileManager);
    m_browserStatus = nullptr;
    setToolView(Browser, m_browserView);
    emit browserReady();
}

void ContentView::setSelectedTab(int tab)
{
    if (tab < Notes || tab > Files || tab == m_selectedTab)
        return;
    m_selectedTab = tab;
    m_toolTabs->setCurrentIndex(tab);
    m_tools->setCurrentIndex(tab);
    // Someone walking the tab row with the arrow keys stays there; otherwise
    // the chosen tool takes the typing.
    if (!m_toolTabs->hasSegmentFocus())
        focusSelectedTool();
    emit selectedTabChanged(tab);
}

void ContentView::setShowSettings(bool show)
{
    if (show) {
        if (!m_popover) {
            m_popover = new Popover(m_gear, this);
            m_popover->setContent(new SettingsView(m_models.hotkeys(), m_models.panelSettings()), SettingsSize);
            connect(m_popover, &Popover::shownChanged, this, [this](bool shown) {
                if (shown == m_showSettings)
                    return;
                m_showSettings = shown;
                emit showSettingsChanged(shown);
            });
        }
        if (!m_popover->isVisible()) {
            // The arrow points at the gear together with its leading space.
            const QRect anchor(-GearLeadingSpace, 0, m_gear->width() + GearLeadingSpace, m_gear->height());
            m_popover->popup(anchor);
        }
    } else if (m_popover) {
        m_popover->hide();
    }
}

QWidget* ContentView::toolView(Tool tool) const
{
    return m_tools->widget(tool);
}

void ContentView::setToolView(Tool tool, QWidget* view)
{
    QWidget* old = m_tools->widget(tool);
    if (!view || view == old)
        return;
    m_tools->insertWidget(tool, view);
    m_tools->removeWidget(old);
    if (old == m_notesView)
        m_notesView = nullptr;
    old->deleteLater();
    m_tools->setCurrentIndex(m_selectedTab);
}

QAbstractButton* ContentView::settingsButton() const
{
    return m_gear;
}

SettingsView* ContentView::settingsView() const
{
    return m_popover ? static_cast<SettingsView*>(m_popover->content()) : nullptr;
}

FilesView* ContentView::filesView() const
{
    return qobject_cast<FilesView*>(m_tools->widget(Files));
}

QWidget* ContentView::toolArea() const
{
    return m_tools;
}

void ContentView::focusSelectedTool()
{
    if (QWidget* tool = m_tools->currentWidget())
        tool->setFocus(Qt::OtherFocusReason);
}

void ContentView::screenshotShortcut()
{
    if (m_selectedTab != Browser)
        return;
    emit screenshotRequested();
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown from the shortcut or the tray: ready to type at once.
    focusSelectedTool();
}

void ContentView::hideEvent(QHideEvent* event)
{
    // The page belongs to the panel; it goes when the panel goes.
    if (m_popover)
        m_popover->hide();
    QWidget::hideEvent(event);
}

void ContentView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), PanelStyle::backgroundWash(pal));
    // The header band runs from the top edge (drag strip included) to the divider.
    p.fillRect(QRect(0, 0, width(), m_tabRow->geometry().bottom() + 1), PanelStyle::tabRowWash(pal));
    p.fillRect(m_divider->geometry(), PanelStyle::divider(pal));
}

void ContentView::sendToChat(const QList<QUrl>& files)
{
    BrowserTabsModel* tabs = m_models.browserTabs();
    BrowserTab* tab = tabs ? tabs->activeTab() : nullptr;
    WebView* page = tab ? &tab->webView() : nullptr;
    if (auto refused = FileToChat::refusal(page, files)) {
        if (FilesView* shelf = filesView())
            shelf->showNotice(*refused);
        return;
    }
    // The chat comes to the front first: the page takes the keyboard only
    // while it is shown.
    setSelectedTab(Browser);
    if (auto failed = FileToChat::send(page, files)) {
        setSelectedTab(Files);
        if (FilesView* shelf = filesView())
            shelf->showNotice(*failed);
    }
}
