#include <algorithm>
#include <memory>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "FakeWebEngine.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserURLBar.h"
#include "browser/BrowserView.h"
#include "browser/DownloadNotice.h"
#include "browser/TabChip.h"
#include "platform/FileManager.h"
#include "ui/SymbolButton.h"

class TestBrowserView : public QObject
{
    Q_OBJECT

private:
    FakeWebEngine m_engine;
    std::unique_ptr<BrowserTabsModel> m_model;
    std::unique_ptr<BrowserView> m_view;

    BrowserTab* tabAt(int i) const { return m_model->tabs().at(i); }
    static FakeWebView* viewOf(BrowserTab* tab) { return static_cast<FakeWebView*>(&tab->webView()); }
    TabChip* chipAt(int i) const { return m_view->chips().at(i); }
    QLineEdit* field() const { return m_view->urlBar()->field(); }

    QStringList chipTitles() const
    {
        QStringList titles;
        for (TabChip* chip : m_view->chips())
            titles.append(chip->title());
        return titles;
    }

    static void hover(QWidget* widget, bool inside)
    {
        if (inside) {
            const QPointF at = QRectF(widget->rect()).center();
            QEnterEvent enter(at, at, widget->mapToGlobal(at));
            QApplication::sendEvent(widget, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(widget, &leave);
        }
    }

    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }

    static QAccessibleInterface* accessible(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

    void activateWindow()
    {
        m_view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
    }

private slots:
    void init()
    {
        m_model = std::make_unique<BrowserTabsModel>(m_engine);
        m_view = std::make_unique<BrowserView>(*m_model);
        m_view->resize(360, 520);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup()
    {
        m_view.reset();
        m_model.reset();
        m_engine.views.clear();
    }

    void chipsFollowTheTabs()
    {
        QCOMPARE(chipTitles(), (QStringList {QStringLiteral("ChatGPT"), QStringLiteral("Claude")}));
        QVERIFY(chipAt(0)->isActive());
        QVERIFY(!chipAt(1)->isActive());

        click(m_view->newTabButton());
        QCOMPARE(chipTitles().last(), QStringLiteral("New Tab"));
        QVERIFY(chipAt(2)->isActive());
        QVERIFY(!chipAt(0)->isActive());

        viewOf(tabAt(1))->finish(QStringLiteral("Renamed"), QUrl(QStringLiteral("https://claude.ai/new")));
        QCOMPARE(chipAt(1)->titleLabel()->text(), QStringLiteral("Renamed"));

        click(chipAt(1));
        QCOMPARE(m_model->activeTabID(), tabAt(1)->id());
        QVERIFY(chipAt(1)->isActive());

        // The active tint is the accent colour at a quarter, the others grey.
        QVERIFY(qAbs(chipAt(1)->tint().alphaF() - 0.25) < 0.01);
        QCOMPARE(chipAt(1)->tint().rgb(), m_view->palette().color(QPalette::Highlight).rgb());
        QVERIFY(qAbs(chipAt(0)->tint().alphaF() - 0.15) < 0.01);

        QPointer<TabChip> closing = chipAt(1);
        click(closing->closeButton());
        QCOMPARE(chipTitles(), (QStringList {QStringLiteral("ChatGPT"), QStringLiteral("New Tab")}));
        QVERIFY(chipAt(1)->isActive());
        QTRY_VERIFY(!closing);
    }

    void chevronsShowOnHoverOnlyWhereTheTabCanMove_data()
    {
        QTest::addColumn<int>("tabs");
        QTest::addColumn<int>("hovered");
        QTest::addColumn<bool>("left");
        QTest::addColumn<bool>("right");

        QTest::newRow("first of three") << 3 << 0 << false << true;
        QTest::newRow("middle of three") << 3 << 1 << true << true;
        QTest::newRow("last of three") << 3 << 2 << true << false;
        QTest::newRow("only tab") << 1 << 0 << false << false;
    }

    void chevronsShowOnHoverOnlyWhereTheTabCanMove()
    {
        QFETCH(int, tabs);
        QFETCH(int, hovered);
        QFETCH(bool, left);
        QFETCH(bool, right);
        while (m_model->tabs().size() < tabs)
            m_model->newTab();
        while (m_model->tabs().size() > tabs)
            m_model->closeTab(tabAt(0)->id());
        TabChip* chip = chipAt(hovered);
        const int width = chip->width();
        // Wherever the pointer and the focus were when the window came up,
        // they are gone: a focused chip shows its chevrons too.
        field()->setFocus();
        for (TabChip* each : m_view->chips())
            hover(each, false);

        for (TabChip* each : m_view->chips()) {
            QTRY_COMPARE(each->moveLeftButton()->opacity(), 0.0);
            QVERIFY(!each->moveLeftButton()->isEnabled());
            QVERIFY(!each->moveRightButton()->isEnabled());
            QVERIFY(each->closeButton()->isEnabled());
        }

        hover(chip, true);
        QTRY_COMPARE(chip->moveLeftButton()->opacity(), left ? 1.0 : 0.0);
        QTRY_COMPARE(chip->moveRightButton()->opacity(), right ? 1.0 : 0.0);
        QCOMPARE(chip->moveLeftButton()->isEnabled(), left);
        QCOMPARE(chip->moveRightButton()->isEnabled(), right);
        QCOMPARE(chip->width(), width);
        QCOMPARE(chip->moveLeftButton()->width(), TabChip::ChevronWidth);

        const QUuid id = chip->tab().id();
        if (right) {
            click(chip->moveRightButton());
            QCOMPARE(tabAt(hovered + 1)->id(), id);
        } else if (left) {
            click(chip->moveLeftButton());
            QCOMPARE(tabAt(hovered - 1)->id(), id);
        }

        hover(chip, false);
        QTRY_COMPARE(chip->moveRightButton()->opacity(), 0.0);
        QVERIFY(!chip->moveLeftButton()->isEnabled());
        QVERIFY(!chip->moveRightButton()->isEnabled());
        QCOMPARE(chip->width(), width);
    }

    void closingTheOnlyTabLeavesANewTab()
    {
        m_model->closeTab(tabAt(0)->id());
        click(chipAt(0)->closeButton());
        QCOMPARE(chipTitles(), QStringList {QStringLiteral("New Tab")});
        QVERIFY(chipAt(0)->isActive());
        QVERIFY(m_view->urlBar()->isVisible());
    }

    void longTitlesAreCutAndManyTabsScrollSideways()
    {
        const QString longTitle = QStringLiteral("A very long page title that cannot possibly fit in a chip");
        viewOf(tabAt(0))->finish(longTitle, QUrl(QStringLiteral("https://example.com/")));
        QLabel* label = chipAt(0)->titleLabel();
        QVERIFY(label->text().endsWith(QChar(0x2026)));
        QVERIFY(label->sizeHint().width() <= TabChip::TitleMaxWidth);
        QCOMPARE(chipAt(0)->title(), longTitle);
        QCOMPARE(accessible(chipAt(0))->text(QAccessible::Name), longTitle);

        for (int i = 0; i < 10; ++i)
            m_model->newTab();
        QApplication::processEvents();
        QCOMPARE(m_view->strip()->height(), BrowserView::StripHeight);
        QVERIFY(m_view->strip()->horizontalScrollBar()->maximum() > 0);
        // The new active tab at the far end was scrolled into view.
        TabChip* last = m_view->chips().last();
        const QRect shown = QRect(last->mapTo(m_view->strip()->viewport(), QPoint(0, 0)), last->size());
        QVERIFY2(m_view->strip()->viewport()->rect().contains(shown), "the active chip is in view");
    }

    void addressBarIsBoundBothWays()
    {
        BrowserTab* tab = tabAt(0);
        FakeWebView* page = viewOf(tab);
        page->loads.clear();
        activateWindow();
        field()->setFocus();
        field()->selectAll();
        QTest::keyClicks(field(), QStringLiteral("hello world"));
        QCOMPARE(tab->urlString(), QStringLiteral("hello world"));

        QTest::keyClick(field(), Qt::Key_Return);
        QCOMPARE(page->loads, QList<QUrl> {QUrl(QStringLiteral("https://search.brave.com/search?q=hello%20world"))});
        QCOMPARE(field()->text(), QStringLiteral("hello world"));

        page->finish(QStringLiteral("hello world - Search"),
                     QUrl(QStringLiteral("https://search.brave.com/search?q=hello%20world")));
        QCOMPARE(field()->text(), QStringLiteral("https://search.brave.com/search?q=hello%20world"));

        field()->setText(QString());
        QTest::keyClicks(field(), QStringLiteral("example.com"));
        click(m_view->urlBar()->goButton());
        QCOMPARE(page->loads.last(), QUrl(QStringLiteral("https://example.com")));

        // Each tab keeps its own text.
        m_model->setActiveTabID(tabAt(1)->id());
        QCOMPARE(field()->text(), QStringLiteral("https://claude.ai/"));
        m_model->setActiveTabID(tab->id());
        QCOMPARE(field()->text(), QStringLiteral("example.com"));
    }

    void switchingTabsSwapsTheirOwnPagesWithoutReloading()
    {
        FakeWebView* first = viewOf(tabAt(0));
        FakeWebView* second = viewOf(tabAt(1));
        QWidget* firstPage = first->widget();
        QCOMPARE(m_view->shownPage(), firstPage);
        QVERIFY(firstPage->isVisible());
        QVERIFY(!second->hasWidget() || !second->widget()->isVisible());

        click(chipAt(1));
        QCOMPARE(m_view->shownPage(), second->widget());
        QVERIFY(second->widget()->isVisible());
        QVERIFY(!firstPage->isVisible());

        click(chipAt(0));
        QCOMPARE(m_view->shownPage(), firstPage);
        QVERIFY(firstPage->isVisible());
        QCOMPARE(first->loads.size(), 1);
        QCOMPARE(first->reloads, 0);
        QCOMPARE(second->loads.size(), 1);
    }

    void noActiveTabShowsNeitherBarNorPage()
    {
        m_model->setActiveTabID(QUuid::createUuid());
        QVERIFY(!m_view->urlBar()->isVisible());
        QCOMPARE(m_view->shownPage(), nullptr);
        QVERIFY(!viewOf(tabAt(0))->widget()->isVisible());
        for (TabChip* chip : m_view->chips())
            QVERIFY(!chip->isActive());
        m_model->setActiveTabID(tabAt(1)->id());
        QVERIFY(m_view->urlBar()->isVisible());
        QCOMPARE(m_view->shownPage(), viewOf(tabAt(1))->widget());
    }

    void controlsHaveTheirNamesAndRoles()
    {
        QAccessibleInterface* chip = accessible(chipAt(0));
        QCOMPARE(chip->role(), QAccessible::PageTab);
        QCOMPARE(chip->text(QAccessible::Name), QStringLiteral("ChatGPT"));
        QVERIFY(chip->state().selected);
        QVERIFY(!accessible(chipAt(1))->state().selected);
        QVERIFY(chip->actionInterface());
        chip->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        click(chipAt(1));
        QVERIFY(accessible(chipAt(1))->state().selected);
        accessible(chipAt(0))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(m_model->activeTabID(), tabAt(0)->id());

        const QList<QPair<QObject*, QString>> named {
            {m_view->newTabButton(), QStringLiteral("New Tab")},
            {chipAt(0)->closeButton(), QStringLiteral("Close Tab")},
            {chipAt(0)->moveLeftButton(), QStringLiteral("Move Tab Left")},
            {chipAt(0)->moveRightButton(), QStringLiteral("Move Tab Right")},
            {field(), QStringLiteral("Address")},
            {m_view->urlBar()->goButton(), QStringLiteral("Go")},
            {m_view->reloadButton(), QStringLiteral("Reload")},
        };
        for (const auto& [object, name] : named) {
            QCOMPARE(accessible(object)->text(QAccessible::Name), name);
            QCOMPARE(accessible(object)->role(), object == field() ? QAccessible::EditableText : QAccessible::Button);
        }
        QCOMPARE(field()->placeholderText(), QStringLiteral("Search or enter URL"));
    }

    void aScreenReaderListsChipsInStripOrderAndNewTabStaysInSight()
    {
        // Eight tabs overflow the strip; the last moved to the front.
        for (int i = 0; i < 6; ++i)
            click(m_view->newTabButton());
        m_model->moveTab(tabAt(7)->id(), -7);
        QStringList order;
        QList<QAccessibleInterface*> pending {accessible(m_view.get())};
        while (!pending.isEmpty()) {
            QAccessibleInterface* node = pending.takeFirst();
            if ((node->role() == QAccessible::PageTab || node->object() == m_view->newTabButton())
                && !node->state().invisible)
                order << node->text(QAccessible::Name);
            QList<QAccessibleInterface*> children;
            for (int i = 0; i < node->childCount(); ++i)
                children << node->child(i);
            pending = children + pending;
        }
        QCOMPARE(order, chipTitles() << QStringLiteral("New Tab"));

        // However many tabs, "New Tab" is wholly in sight, and still when
        // the strip scrolls to the last chip.
        QWidget* plus = m_view->newTabButton();
        QTRY_COMPARE(plus->visibleRegion().boundingRect(), plus->rect());
        QVERIFY(m_view->rect().contains(QRect(plus->mapTo(m_view.get(), QPoint()), plus->size())));
        m_model->setActiveTabID(tabAt(7)->id());
        QTRY_VERIFY(chipAt(7)->visibleRegion().boundingRect() == chipAt(7)->rect());
        QCOMPARE(plus->visibleRegion().boundingRect(), plus->rect());
    }

    void keyboardReachesEveryPartAndDrivesTheChips()
    {
        activateWindow();
        chipAt(0)->setFocus(Qt::TabFocusReason);
        const QList<QWidget*> expected {chipAt(1), m_view->newTabButton(), field(), m_view->urlBar()->goButton(),
                                        viewOf(tabAt(0))->widget()};
        for (QWidget* next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), m_view->urlBar()->goButton());

        // On a focused chip: Return selects, Shift+Right moves, Delete closes.
        TabChip* second = chipAt(1);
        const QUuid id = second->tab().id();
        second->setFocus(Qt::TabFocusReason);
        QTest::keyClick(second, Qt::Key_Return);
        QCOMPARE(m_model->activeTabID(), id);
        QTest::keyClick(second, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(tabAt(0)->id(), id);
        QTest::keyClick(second, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(tabAt(0)->id(), id);
        QTest::keyClick(second, Qt::Key_Delete);
        QCOMPARE(chipTitles(), QStringList {QStringLiteral("ChatGPT")});
    }

    void crashedPageShowsReloadAndOtherTabsKeepWorking()
    {
        FakeWebView* first = viewOf(tabAt(0));
        first->crash();
        QCOMPARE(m_view->shownPage(), m_view->crashNotice());
        QVERIFY(m_view->reloadButton()->isVisible());

        click(chipAt(1));
        QCOMPARE(m_view->shownPage(), viewOf(tabAt(1))->widget());
        click(chipAt(0));
        QCOMPARE(m_view->shownPage(), m_view->crashNotice());

        click(m_view->reloadButton());
        QCOMPARE(first->reloads, 1);
        QCOMPARE(m_view->shownPage(), first->widget());
    }

    void pageThatCannotBeOpenedSaysWhyAndReloadAsksAgain()
    {
        BrowserTab* tab = tabAt(0);
        FakeWebView* view = viewOf(tab);
        const QUrl wanted = view->loads.last();
        view->failBeforeCommit(QStringLiteral("Error resolving host"));
        QCOMPARE(m_view->shownPage(), m_view->crashNotice());
        QVERIFY(m_view->reloadButton()->isVisible());
        const QList<QLabel*> labels = m_view->crashNotice()->findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel* label) {
            return label->text().contains(QStringLiteral("Error resolving host"));
        }));

        // Reload asks for the page that failed, not the one shown before it.
        click(m_view->reloadButton());
        QCOMPARE(view->reloads, 0);
        QCOMPARE(view->loads.last(), wanted);
        QCOMPARE(m_view->shownPage(), view->widget());
        view->finish(QStringLiteral("Page"), wanted);
        QCOMPARE(m_view->shownPage(), view->widget());
    }

    void loadCancelledByANewerOneShowsNoError()
    {
        BrowserTab* tab = tabAt(0);
        FakeWebView* view = viewOf(tab);
        tab->load(QStringLiteral("example.org"));
        view->failBeforeCommit(QStringLiteral("Load request cancelled"));
        QCOMPARE(m_view->shownPage(), view->widget());
        view->failBeforeCommit(QStringLiteral("Connection refused"));
        QCOMPARE(m_view->shownPage(), m_view->crashNotice());
        tab->load(QStringLiteral("example.net"));
        QCOMPARE(m_view->shownPage(), view->widget());
    }

    void savedDownloadIsNamedInOneLine()
    {
        DownloadNotice* notice = m_view->downloadNotice();
        QVERIFY(!notice->isVisible());
        viewOf(tabAt(1))->saveDownload(QStringLiteral("/tmp/Downloads/report (2).pdf"));
        QVERIFY(notice->isVisible());
        QCOMPARE(accessible(notice->label())->text(QAccessible::Name), QStringLiteral("Saved “report (2).pdf”"));
        QVERIFY(!notice->label()->wordWrap());
        QCOMPARE(notice->path(), QStringLiteral("/tmp/Downloads/report (2).pdf"));
        // Its buttons come after "Go" from the keyboard.
        activateWindow();
        m_view->urlBar()->goButton()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), notice->revealButton());
        // "Show in Folder" hands the file to the desktop's file manager.
        NullFileManager fileManager;
        m_view->setFileManager(&fileManager);
        click(notice->revealButton());
        QCOMPARE(fileManager.shown, QStringList {QStringLiteral("/tmp/Downloads/report (2).pdf")});
        m_view->setFileManager(nullptr);
        click(notice->closeButton());
        QVERIFY(!notice->isVisible());

        // On its own, so the click reveals nothing on this machine.
        DownloadNotice alone;
        alone.showSaved(QStringLiteral("/tmp/Downloads/a.zip"));
        QSignalSpy reveal(&alone, &DownloadNotice::revealRequested);
        click(alone.revealButton());
        QCOMPARE(reveal.count(), 1);
        QCOMPARE(reveal.first().first().toString(), QStringLiteral("/tmp/Downloads/a.zip"));
    }

    void modelGoingFirstTakesThePagesAndLeavesAnEmptyView()
    {
        QPointer<QWidget> page = viewOf(tabAt(0))->widget();
        QCOMPARE(m_view->shownPage(), page.data());
        m_model.reset();
        QVERIFY(!page);
        QVERIFY(m_view->chips().isEmpty());
        QCOMPARE(m_view->urlBar()->tab(), nullptr);
        m_view->repaint();
        QApplication::processEvents();
    }
};

QTEST_MAIN(TestBrowserView)
#include "tst_browserview.moc"
