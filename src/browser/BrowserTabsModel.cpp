#include "BrowserTabsModel.h"

#include "browser/BrowserAddresses.h"

QList<BrowserTabsModel::Opening> BrowserTabsModel::defaultTabs()
{
    QList<Opening> tabs;
    for (const BrowserAddresses::DefaultTab& tab : BrowserAddresses::DefaultTabs)
        tabs.append({QString::fromLatin1(tab.address), QString::fromLatin1(tab.title)});
    return tabs;
}

BrowserTabsModel::BrowserTabsModel(WebEngine& engine, DialogHandlerFactory makeDialogHandler,
                                   const QList<Opening>& openingTabs, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_makeDialogHandler(std::move(makeDialogHandler))
{
    QList<BrowserTab*> tabs;
    for (const Opening& opening : openingTabs)
        tabs.append(makeTab(opening.address, opening.title));
    if (tabs.isEmpty())
        tabs.append(makeTab(BrowserAddresses::startPage(), QString::fromLatin1(BrowserAddresses::NewTabTitle)));
    m_tabs = tabs;
    m_activeTabID = m_tabs.first()->id();
}

// The tabs are children of the model and go with it, without teardown.
BrowserTabsModel::~BrowserTabsModel() = default;

BrowserTab* BrowserTabsModel::makeTab(const QString& address, const QString& title)
{
    return new BrowserTab(m_engine, address, title, m_makeDialogHandler, this);
}

int BrowserTabsModel::indexOf(const QUuid& id) const
{
    for (int i = 0; i < m_tabs.size(); ++i) {
        if (m_tabs.at(i)->id() == id)
            return i;
    }
    return -1;
}

void BrowserTabsModel::setActiveTabID(const QUuid& id)
{
    if (id == m_activeTabID)
        return;
    m_activeTabID = id;
    emit activeTabIDChanged(id);
}

BrowserTab* BrowserTabsModel::activeTab() const
{
    if (m_activeTabID.isNull())
        return nullptr;
    const int i = indexOf(m_activeTabID);
    return i < 0 ? nullptr : m_tabs.at(i);
}

void BrowserTabsModel::newTab()
{
    BrowserTab* tab = makeTab(BrowserAddresses::startPage(), QString::fromLatin1(BrowserAddresses::NewTabTitle));
    m_tabs.append(tab);
    emit tabsChanged();
    setActiveTabID(tab->id());
}

BrowserTab* BrowserTabsModel::openTab(const QString& address, bool activate)
{
    BrowserTab* tab = makeTab(address, QString::fromLatin1(BrowserAddresses::NewTabTitle));
    m_tabs.append(tab);
    emit tabsChanged();
    if (activate)
        setActiveTabID(tab->id());
    return tab;
}

void BrowserTabsModel::closeTab(const QUuid& id)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    BrowserTab* tab = m_tabs.takeAt(i);
    emit tabsChanged();
    tab->teardown();
    // Later, not now: the close may have come from a signal of the tab or of
    // a widget that shows it.
    tab->deleteLater();

    if (m_tabs.isEmpty()) {
        newTab();
        return;
    }
    if (m_activeTabID == id)
        setActiveTabID(m_tabs.at(qMin(i, int(m_tabs.size()) - 1))->id());
}

void BrowserTabsModel::moveTab(const QUuid& id, int offset)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    const qsizetype j = qsizetype(i) + offset;
    if (j < 0 || j >= m_tabs.size())
        return;
    m_tabs.swapItemsAt(i, j);
    emit tabsChanged();
}
