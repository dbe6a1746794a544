#include <memory>

#include <QSignalSpy>
#include <QTest>

#include "FakeWebEngine.h"
#include "browser/BrowserTabsModel.h"

namespace {
QStringList names(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* name : list)
        result.append(QString::fromUtf8(name));
    return result;
}
} // namespace

class TestBrowserTabsModel : public QObject
{
    Q_OBJECT

private:
    FakeWebEngine m_engine;
    std::unique_ptr<BrowserTabsModel> m_model;

    QStringList titles() const
    {
        QStringList titles;
        for (BrowserTab* tab : m_model->tabs())
            titles.append(tab->pageTitle());
        return titles;
    }

    QUuid idAt(int i) const { return m_model->tabs().at(i)->id(); }
    static FakeWebView* viewOf(BrowserTab* tab) { return static_cast<FakeWebView*>(&tab->webView()); }

    // Four tabs: ChatGPT, Claude, New Tab, New Tab, each renamed A to D.
    void makeFour()
    {
        m_model->newTab();
        m_model->newTab();
        const char* letters[] = {"A", "B", "C", "D"};
        for (int i = 0; i < 4; ++i) {
            FakeWebView* view = viewOf(m_model->tabs().at(i));
            view->finish(QString::fromLatin1(letters[i]), QUrl(QStringLiteral("https://example.com/")));
        }
        QCOMPARE(titles(), names({"A", "B", "C", "D"}));
    }

private slots:
    void init() { m_model = std::make_unique<BrowserTabsModel>(m_engine); }
    void cleanup()
    {
        m_model.reset();
        m_engine.views.clear();
    }

    void startsWithTheTwoChatTabsLoadingTheFirstActive()
    {
        QCOMPARE(titles(), names({"ChatGPT", "Claude"}));
        QCOMPARE(m_model->activeTabID(), idAt(0));
        QCOMPARE(m_model->activeTab(), m_model->tabs().at(0));
        QCOMPARE(viewOf(m_model->tabs().at(0))->loads, QList<QUrl> {QUrl(QStringLiteral("https://chatgpt.com/"))});
        QCOMPARE(viewOf(m_model->tabs().at(1))->loads, QList<QUrl> {QUrl(QStringLiteral("https://claude.ai/"))});
        QCOMPARE(m_model->tabs().at(1)->urlString(), QStringLiteral("https://claude.ai/"));
    }

    void newTabAppendsTheStartPageAndActivatesIt()
    {
        m_model->setActiveTabID(idAt(1));
        QSignalSpy tabsSpy(m_model.get(), &BrowserTabsModel::tabsChanged);
        QSignalSpy activeSpy(m_model.get(), &BrowserTabsModel::activeTabIDChanged);
        m_model->newTab();
        QCOMPARE(titles(), names({"ChatGPT", "Claude", "New Tab"}));
        QCOMPARE(m_model->activeTabID(), idAt(2));
        QCOMPARE(viewOf(m_model->tabs().at(2))->loads, QList<QUrl> {QUrl(QStringLiteral("https://search.brave.com/"))});
        QCOMPARE(tabsSpy.count(), 1);
        QCOMPARE(activeSpy.count(), 1);
    }

    void closeTab_data()
    {
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("closed");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("activeAfter");

        QTest::newRow("active in the middle: right-hand neighbour") << 1 << 1 << names({"A", "C", "D"}) << "C";
        QTest::newRow("active last: new last") << 3 << 3 << names({"A", "B", "C"}) << "C";
        QTest::newRow("active first: next") << 0 << 0 << names({"B", "C", "D"}) << "B";
        QTest::newRow("non-active left neighbour") << 2 << 1 << names({"A", "C", "D"}) << "C";
        QTest::newRow("non-active right of it") << 1 << 3 << names({"A", "B", "C"}) << "B";
    }

    void closeTab()
    {
        QFETCH(int, active);
        QFETCH(int, closed);
        QFETCH(QStringList, left);
        QFETCH(QString, activeAfter);
        makeFour();
        m_model->setActiveTabID(idAt(active));
        BrowserTab* gone = m_model->tabs().at(closed);
        QPointer<FakeWebView> view = viewOf(gone);
        view->loads.clear();

        m_model->closeTab(gone->id());
        QCOMPARE(titles(), left);
        QVERIFY(m_model->activeTab());
        QCOMPARE(m_model->activeTab()->pageTitle(), activeAfter);
        // Torn down, then let go.
        QCOMPARE(view->stops, 1);
        QCOMPARE(view->navigationDelegate(), nullptr);
        QCOMPARE(view->loads, QList<QUrl> {QUrl(QStringLiteral("about:blank"))});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!view);
    }

    void closingTheOnlyTabLeavesAFreshActiveOne()
    {
        m_model->closeTab(idAt(0));
        const QUuid last = idAt(0);
        m_model->closeTab(last);
        QCOMPARE(titles(), names({"New Tab"}));
        QVERIFY(idAt(0) != last);
        QCOMPARE(m_model->activeTabID(), idAt(0));
        QCOMPARE(viewOf(m_model->tabs().at(0))->loads, QList<QUrl> {QUrl(QStringLiteral("https://search.brave.com/"))});
    }

    void unknownIdsChangeNothing()
    {
        QSignalSpy tabsSpy(m_model.get(), &BrowserTabsModel::tabsChanged);
        QSignalSpy activeSpy(m_model.get(), &BrowserTabsModel::activeTabIDChanged);
        m_model->closeTab(QUuid::createUuid());
        m_model->closeTab(QUuid());
        m_model->moveTab(QUuid::createUuid(), 1);
        QCOMPARE(titles(), names({"ChatGPT", "Claude"}));
        QCOMPARE(tabsSpy.count(), 0);
        QCOMPARE(activeSpy.count(), 0);
    }

    void moveTab_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QStringList>("order");

        QTest::newRow("first left: nothing") << 0 << -1 << names({"A", "B", "C", "D"});
        QTest::newRow("last right: nothing") << 3 << 1 << names({"A", "B", "C", "D"});
        QTest::newRow("right by one") << 1 << 1 << names({"A", "C", "B", "D"});
        QTest::newRow("left by one") << 3 << -1 << names({"A", "B", "D", "C"});
        QTest::newRow("larger offset swaps") << 0 << 3 << names({"D", "B", "C", "A"});
        QTest::newRow("far past the end: nothing") << 1 << 2147483647 << names({"A", "B", "C", "D"});
        QTest::newRow("far before the start: nothing") << 2 << -2147483647 - 1 << names({"A", "B", "C", "D"});
    }

    void moveTab()
    {
        QFETCH(int, from);
        QFETCH(int, offset);
        QFETCH(QStringList, order);
        makeFour();
        const QUuid moved = idAt(from);
        m_model->setActiveTabID(moved);
        QSignalSpy tabsSpy(m_model.get(), &BrowserTabsModel::tabsChanged);
        m_model->moveTab(moved, offset);
        QCOMPARE(titles(), order);
        const bool unchanged = order == names({"A", "B", "C", "D"});
        QCOMPARE(tabsSpy.count(), unchanged ? 0 : 1);
        QCOMPARE(m_model->activeTabID(), moved);
    }

    void staleActiveIdShowsNoTab()
    {
        m_model->setActiveTabID(QUuid::createUuid());
        QCOMPARE(m_model->activeTab(), nullptr);
        m_model->setActiveTabID(QUuid());
        QCOMPARE(m_model->activeTab(), nullptr);
        // Closing a tab with a stale choice leaves the choice alone.
        const QUuid stale = QUuid::createUuid();
        m_model->setActiveTabID(stale);
        m_model->closeTab(idAt(0));
        QCOMPARE(m_model->activeTabID(), stale);
    }

    void openingTabsCanBeGivenButNeverNone()
    {
        FakeWebEngine engine;
        BrowserTabsModel local(engine, {}, {{QStringLiteral("http://127.0.0.1:1/a"), QStringLiteral("A")}});
        QCOMPARE(local.tabs().size(), 1);
        QCOMPARE(engine.views.first()->loads, QList<QUrl> {QUrl(QStringLiteral("http://127.0.0.1:1/a"))});
        QCOMPARE(local.activeTab(), local.tabs().first());

        BrowserTabsModel none(engine, {}, {});
        QCOMPARE(none.tabs().size(), 1);
        QCOMPARE(none.activeTab()->pageTitle(), QStringLiteral("New Tab"));
    }

    void releasingTheModelReleasesTabsWithoutTeardown()
    {
        QPointer<FakeWebView> view = m_engine.views.first();
        m_model.reset();
        QVERIFY(!view);
    }
};

QTEST_GUILESS_MAIN(TestBrowserTabsModel)
#include "tst_browsertabsmodel.moc"
