#pragma once

#include <QList>
#include <QObject>
#include <QUuid>

#include "browser/BrowserDialogHandler.h"
#include "browser/BrowserTab.h"

class WebEngine;

// The browser's open tabs in strip order and the choice of the active one.
// Starts with the default tabs, the first active; never empty afterwards.
class BrowserTabsModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<BrowserTab*> tabs READ tabs NOTIFY tabsChanged)
    Q_PROPERTY(QUuid activeTabID READ activeTabID WRITE setActiveTabID NOTIFY activeTabIDChanged)

public:
    struct Opening
    {
        QString address;
        QString title;
    };
    // The chat tabs every start opens with.
    static QList<Opening> defaultTabs();

    // `openingTabs` (never empty) start loading at once, the first active.
    explicit BrowserTabsModel(WebEngine& engine, DialogHandlerFactory makeDialogHandler = {},
                              const QList<Opening>& openingTabs = defaultTabs(), QObject* parent = nullptr);
    ~BrowserTabsModel() override;

    const QList<BrowserTab*>& tabs() const { return m_tabs; }
    QUuid activeTabID() const { return m_activeTabID; }
    // Any id may be set; one that names no tab leaves no tab active.
    void setActiveTabID(const QUuid& id);
    // The tab `activeTabID` names, or null.
    BrowserTab* activeTab() const;

    // Opens the search engine's start page at the right end and activates it.
    void newTab();
    // Opens `address` in a new tab at the right end, made active when asked.
    BrowserTab* openTab(const QString& address, bool activate);
    // The active tab's place goes to its right-hand neighbour, or to the new
    // last tab; closing the only tab leaves a fresh one.
    void closeTab(const QUuid& id);
    // Swaps the tab with the one `offset` places away, if there is one.
    void moveTab(const QUuid& id, int offset);

signals:
    void tabsChanged();
    void activeTabIDChanged(const QUuid& id);

private:
    BrowserTab* makeTab(const QString& address, const QString& title);
    int indexOf(const QUuid& id) const;

    WebEngine& m_engine;
    DialogHandlerFactory m_makeDialogHandler;
    QList<BrowserTab*> m_tabs;
    QUuid m_activeTabID;
};
