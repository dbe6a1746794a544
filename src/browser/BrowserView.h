#pragma once

#include <memory>

#include <QHash>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class FileManager;
class BrowserFindBar;
class BrowserTab;
class BrowserTabsModel;
class BrowserURLBar;
class DownloadNotice;
class QAction;
class QLabel;
class SiteZoom;
class QPushButton;
class QScrollArea;
class QStackedLayout;
class SymbolButton;
class TabChip;
class WebFileDialog;

// The Browser tool: a scrolling strip of tab chips with a new-tab button, a
// divider, the active tab's address bar and the active tab's own page below.
// Choosing another tab swaps the pages themselves, so a page left behind
// keeps its state and is not reloaded. With no active tab neither bar nor
// page shows.
//
// The pages belong to their tabs, and a page's engine window lives inside
// this view's window: the tabs model must go before that window does.
class BrowserView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int StripHeight = 30;

    explicit BrowserView(BrowserTabsModel& model, QWidget* parent = nullptr);
    ~BrowserView() override;

    BrowserTabsModel& model() const { return m_model; }
    WebFileDialog* fileDialog() const { return m_fileDialog; }
    QScrollArea* strip() const { return m_strip; }
    // The chips in strip order.
    QList<TabChip*> chips() const;
    TabChip* chip(const QUuid& id) const { return m_chips.value(id); }
    SymbolButton* newTabButton() const { return m_newTab; }
    BrowserURLBar* urlBar() const { return m_urlBar; }
    DownloadNotice* downloadNotice() const { return m_downloadNotice; }
    // Where "Show in Folder" shows a saved download; without one the button
    // does nothing. Must outlive the view.
    void setFileManager(FileManager* fileManager) { m_fileManager = fileManager; }
    // Stands in for a page whose web process died.
    QWidget* crashNotice() const { return m_crashNotice; }
    QPushButton* reloadButton() const { return m_reload; }
    // Shown with the notice of a page that stopped answering.
    QPushButton* waitButton() const { return m_wait; }
    QString noticeText() const;
    BrowserFindBar* findBar() const { return m_findBar; }
    SiteZoom& siteZoom() const { return *m_siteZoom; }

    // What the browser's keys do to the active page.
    void goBack();
    void goForward();
    void reload();
    void openFind();
    // +1 zooms in a step, -1 out, 0 back to 100%; kept for the page's site.
    void zoom(int step);
    // The widget now shown under the address bar: the active page, the
    // crash notice, or null.
    QWidget* shownPage() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void modelDestroyed();
    void syncChips();
    void syncActive();
    void showActivePage();
    void updateTabOrder();
    TabChip* makeChip(BrowserTab* tab);
    void addBrowsingActions();
    void connectBrowsing(BrowserTab* tab);
    void applySiteZoom(BrowserTab* tab);

    BrowserTabsModel& m_model;
    // Answers the pages' file choosers.
    WebFileDialog* m_fileDialog;
    QScrollArea* m_strip = nullptr;
    QWidget* m_stripRow = nullptr;
    SymbolButton* m_newTab = nullptr;
    QWidget* m_divider = nullptr;
    BrowserURLBar* m_urlBar = nullptr;
    DownloadNotice* m_downloadNotice = nullptr;
    FileManager* m_fileManager = nullptr;
    QWidget* m_pageArea = nullptr;
    QStackedLayout* m_pages = nullptr;
    // Stands in for a page that crashed or could not be opened.
    QWidget* m_crashNotice = nullptr;
    QLabel* m_noticeMessage = nullptr;
    QPushButton* m_reload = nullptr;
    QPushButton* m_wait = nullptr;
    BrowserFindBar* m_findBar = nullptr;
    std::unique_ptr<SiteZoom> m_siteZoom;
    QHash<QUuid, TabChip*> m_chips;
    QList<TabChip*> m_order;
};
