#include <memory>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "PanelFixture.h"
#include "app/Popover.h"
#include "app/ToolTabs.h"
#include "app/WindowDragHandle.h"
#include "files/FilesListModel.h"
#include "files/FilesStore.h"
#include "files/FilesView.h"
#include "settings/ScreenshotGuide.h"
#include "settings/SettingsView.h"
#include "support/EventLoopTurn.h"

namespace {
QString manyLines()
{
    QString text;
    for (int i = 1; i <= 300; ++i)
        text += QStringLiteral("Line %1 of the notes\n").arg(i);
    return text;
}
} // namespace

class TestContentView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PanelFixture> m_fixture;
    FloatingPanel* m_panel = nullptr;
    ContentView* m_view = nullptr;
    NotesStore* m_notes = nullptr;

    QPlainTextEdit* editor() const { return m_fixture->editor(); }

    // Clicks go to the window, so they meet the same hit-testing and popup
    // handling as a real pointer.
    void clickAt(QWidget* widget, QPoint local = QPoint(-1, -1))
    {
        if (local == QPoint(-1, -1))
            local = widget->rect().center();
        QWidget* top = widget->window();
        const QPoint at = widget->mapTo(top, local);
        QTest::mousePress(top->windowHandle(), Qt::LeftButton, {}, at);
        // A real release comes later than anything the press posted.
        QCoreApplication::processEvents();
        QTest::mouseRelease(top->windowHandle(), Qt::LeftButton, {}, at);
    }

    void key(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(m_panel->windowHandle(), Qt::Key(key), modifiers);
    }

    void showPanel()
    {
        m_panel->orderFrontAndFocus();
        QVERIFY(QTest::qWaitForWindowActive(m_panel));
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<PanelFixture>(QRect(300, 0, 360, 580));
        QVERIFY(m_fixture->dir.isValid());
        m_panel = &m_fixture->panel;
        m_view = m_fixture->view;
        m_notes = &m_fixture->notesStore;
    }

    void cleanup() { m_fixture.reset(); }

    void startsOnNotesWithTheSettingsClosed()
    {
        showPanel();
        QCOMPARE(m_view->selectedTab(), 0);
        for (int tab : {0, 1, 2}) {
            QCOMPARE(m_view->toolTabs()->segment(tab)->isChecked(), tab == 0);
            QCOMPARE(m_view->toolView(ContentView::Tool(tab))->isVisible(), tab == 0);
        }
        QVERIFY(!m_view->showSettings());
        QVERIFY(!m_view->settingsPopover());
        // Ready to type at once.
        QCOMPARE(QApplication::focusWidget(), editor());
    }

    void headerLinesUpWithTheWindowButtons()
    {
        showPanel();
        WindowDragHandle* strip = m_view->dragHandle();
        QCOMPARE(strip->mapTo(m_panel, QPoint(0, 0)), QPoint(0, 0));
        // Easy to hit, though drawn as a thin capsule.
        QCOMPARE(strip->width(), m_panel->width());
        QVERIFY(strip->height() >= 10);
        const QRect capsule = strip->capsuleRect();
        QCOMPARE(capsule.size(), QSize(36, 3));
        for (QAbstractButton* button : {m_panel->closeButton(), m_panel->minimizeButton(), m_panel->zoomButton()}) {
            QVERIFY(button->width() >= 20 && button->height() >= 20);
            // The buttons' hit areas do not overlap.
            for (QAbstractButton* other : {m_panel->closeButton(), m_panel->minimizeButton(), m_panel->zoomButton()})
                QVERIFY(button == other || !button->geometry().intersects(other->geometry()));
        }
        QCOMPARE(capsule.center().x(), strip->width() / 2 - 1);

        auto centreY
            = [this](QWidget* w) { return QRectF(w->mapTo(m_panel, QPoint(0, 0)), QSizeF(w->size())).center().y(); };
        const qreal buttonsY = centreY(m_panel->closeButton());
        QCOMPARE(buttonsY, qreal(FloatingPanel::WindowButtonsCenterY));
        QCOMPARE(centreY(m_view->toolTabs()), buttonsY);
        QCOMPARE(centreY(m_view->settingsButton()), buttonsY);
        // The tabs start clear of the window buttons; the gear keeps 10 px from the edge.
        QVERIFY(m_view->toolTabs()->mapTo(m_panel, QPoint(0, 0)).x() >= FloatingPanel::WindowButtonsWidth);
        const QRect gear(m_view->settingsButton()->mapTo(m_panel, QPoint(0, 0)), m_view->settingsButton()->size());
        QCOMPARE(m_panel->width() - 1 - gear.right(), 10);
    }

    void controlsCarryTheirNames()
    {
        showPanel();
        auto name = [](QWidget* w) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
            return iface ? iface->text(QAccessible::Name) : QString();
        };
        QCOMPARE(name(m_view->toolTabs()->segment(0)), QStringLiteral("Notes"));
        QCOMPARE(name(m_view->toolTabs()->segment(1)), QStringLiteral("Browser"));
        QCOMPARE(name(m_view->toolTabs()->segment(2)), QStringLiteral("Files"));
        QCOMPARE(name(m_view->settingsButton()), QStringLiteral("Settings"));
        QCOMPARE(name(editor()), QStringLiteral("Notes"));
        for (QAbstractButton* button : m_panel->findChildren<QAbstractButton*>())
            QVERIFY2(!name(button).isEmpty(), button->metaObject()->className());
    }

    void toolSwitcherReadsAsPageTabs()
    {
        showPanel();
        ToolTabs* tabs = m_view->toolTabs();
        QCOMPARE(QAccessible::queryAccessibleInterface(tabs)->role(), QAccessible::PageTabList);
        const auto selected = [tabs] {
            QList<int> chosen;
            for (int i = 0; i < tabs->count(); ++i) {
                QAccessibleInterface* tab = QAccessible::queryAccessibleInterface(tabs->segment(i));
                if (tab->role() != QAccessible::PageTab || tab->state().checkable)
                    return QList<int> {-1};
                if (tab->state().selected)
                    chosen << i;
            }
            return chosen;
        };
        QCOMPARE(selected(), QList<int> {0});
        m_view->setSelectedTab(ContentView::Files);
        QCOMPARE(selected(), QList<int> {2});
        // A screen reader's press chooses the tool.
        QAccessibleInterface* browser = QAccessible::queryAccessibleInterface(tabs->segment(1));
        browser->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(m_view->selectedTab(), 1);
        QCOMPARE(selected(), QList<int> {1});
    }

    void ctrlQInThePanelAsksToQuit()
    {
        showPanel();
        QSignalSpy quit(m_view, &ContentView::quitRequested);
        key(Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.count(), 1);
        QCOMPARE(m_notes->text(), QString());
    }

    void returnPressesTheFocusedButton()
    {
        showPanel();
        m_view->settingsButton()->setFocus();
        key(Qt::Key_Return);
        QTRY_VERIFY(m_view->showSettings());
        QTest::keyClick(m_view->settingsPopover()->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!m_view->showSettings());
        // The page is gone once the panel has the focus back, and the gear
        // with it; only then is the focus the test's to move. Qt's offscreen
        // windows may leave the hidden page active, which no real desktop does.
        QTRY_VERIFY(!m_view->settingsPopover()->isVisible());
        if (QApplication::activeWindow() != m_panel)
            showPanel();
        QTRY_COMPARE(QApplication::activeWindow(), m_panel);

        m_view->toolTabs()->segment(0)->setFocus();
        key(Qt::Key_Right);
        QCOMPARE(m_view->selectedTab(), 1);
        m_panel->zoomButton()->setFocus();
        const QRect before = m_panel->geometry();
        key(Qt::Key_Enter, Qt::KeypadModifier);
        QTRY_VERIFY(m_panel->geometry() != before);
    }

    void switchingToolsKeepsTheEditorsTextCaretAndScroll()
    {
        const QString text = manyLines();
        m_notes->setText(text);
        showPanel();
        QTextCursor selection(editor()->document());
        selection.setPosition(3000);
        selection.setPosition(3004, QTextCursor::KeepAnchor);
        editor()->setTextCursor(selection);
        QScrollBar* scroll = editor()->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        scroll->setValue(scroll->maximum() / 2);
        const int scrolled = scroll->value();

        clickAt(m_view->toolTabs()->segment(2));
        QCOMPARE(m_view->selectedTab(), 2);
        QVERIFY(!m_view->notesView()->isVisible());
        QVERIFY(m_view->toolView(ContentView::Files)->isVisible());

        clickAt(m_view->toolTabs()->segment(0));
        QCOMPARE(m_view->selectedTab(), 0);
        QVERIFY(m_view->notesView()->isVisible());
        QCOMPARE(editor()->toPlainText(), text);
        QCOMPARE(scroll->value(), scrolled);
        QCOMPARE(QApplication::focusWidget(), editor());
        // Typing lands on the kept selection.
        key(Qt::Key_X);
        QString expected = text;
        expected.replace(3000, 4, QStringLiteral("x"));
        QCOMPARE(m_notes->text(), expected);
    }

    void hiddenToolsTakeNoClicks()
    {
        m_notes->setText(QStringLiteral("kept"));
        showPanel();
        const QPoint inEditor = editor()->viewport()->rect().center();

        clickAt(m_view->toolTabs()->segment(2));
        clickAt(editor()->viewport(), inEditor);
        QVERIFY(QApplication::focusWidget() != editor());
        key(Qt::Key_Q);
        QCOMPARE(m_notes->text(), QStringLiteral("kept"));

        clickAt(m_view->toolTabs()->segment(1));
        clickAt(editor()->viewport(), inEditor);
        key(Qt::Key_Q);
        QCOMPARE(m_notes->text(), QStringLiteral("kept"));

        // Shown again, the same spot is the editor's, not a hidden tool's.
        clickAt(m_view->toolTabs()->segment(0));
        m_view->settingsButton()->setFocus();
        clickAt(editor()->viewport(), inEditor);
        QCOMPARE(QApplication::focusWidget(), editor());
        key(Qt::Key_End, Qt::ControlModifier);
        key(Qt::Key_Q);
        QCOMPARE(m_notes->text(), QStringLiteral("keptq"));
    }

    void gearOpensAndASecondPressClosesTheSettings()
    {
        showPanel();
        QSignalSpy changed(m_view, &ContentView::showSettingsChanged);
        QAbstractButton* gear = m_view->settingsButton();

        clickAt(gear);
        QVERIFY(m_view->showSettings());
        Popover* popover = m_view->settingsPopover();
        QVERIFY(popover);
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QVERIFY(qobject_cast<SettingsView*>(popover->content()));
        QCOMPARE(popover->content()->size(), QSize(330, 440));
        // It hangs below the gear.
        const QRect gearOnScreen(gear->mapToGlobal(QPoint(0, 0)), gear->size());
        QVERIFY(popover->geometry().top() > gearOnScreen.bottom());
        QVERIFY(popover->geometry().left() <= gearOnScreen.center().x());
        QVERIFY(popover->geometry().right() >= gearOnScreen.center().x());

        // The press outside the page that lands on the gear closes it, and the
        // gear does not open it again.
        clickAt(gear);
        QTRY_VERIFY(!popover->isVisible());
        QVERIFY(passEventLoop());
        QVERIFY(!popover->isVisible());
        QVERIFY(!m_view->showSettings());
        QCOMPARE(changed.count(), 2);

        clickAt(gear);
        QTRY_VERIFY(popover->isVisible());
        QVERIFY(m_view->showSettings());
        // The page goes with the panel.
        m_panel->orderOut();
        QTRY_VERIFY(!popover->isVisible());
        QVERIFY(!m_view->showSettings());
    }

    void screenshotShortcutFiresOnlyWithTheBrowser_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("fired");
        const int ctrlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("Notes, Ctrl+Shift+S") << 0 << ctrlShift << 0;
        QTest::newRow("Browser, Ctrl+Shift+S") << 1 << ctrlShift << 1;
        QTest::newRow("Files, Ctrl+Shift+S") << 2 << ctrlShift << 0;
        QTest::newRow("Notes, Ctrl+S") << 0 << int(Qt::ControlModifier) << 0;
        QTest::newRow("Browser, Ctrl+S") << 1 << int(Qt::ControlModifier) << 0;
        QTest::newRow("Files, Ctrl+S") << 2 << int(Qt::ControlModifier) << 0;
    }
    void screenshotShortcutFiresOnlyWithTheBrowser()
    {
        QFETCH(int, tab);
        QFETCH(int, modifiers);
        m_notes->setText(QStringLiteral("notes"));
        showPanel();
        QSignalSpy requested(m_view, &ContentView::screenshotRequested);
        clickAt(m_view->toolTabs()->segment(tab));
        QCOMPARE(m_view->selectedTab(), tab);
        key(Qt::Key_S, Qt::KeyboardModifiers(modifiers));
        QVERIFY(passEventLoop());
        QTEST(int(requested.count()), "fired");
        // The keys never reach the notes either.
        QCOMPARE(m_notes->text(), QStringLiteral("notes"));
        QCOMPARE(m_view->selectedTab(), tab);
    }

    void settingsPageNamesTheRealScreenshotTrigger()
    {
        QCOMPARE(m_view->screenshotAction()->shortcut().toString(QKeySequence::NativeText),
                 ScreenshotGuide::screenshotKeys());
    }

    void keyboardAloneReachesEveryControl()
    {
        showPanel();
        ToolTabs* tabs = m_view->toolTabs();
        QCOMPARE(QApplication::focusWidget(), editor());
        key(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), m_view->settingsButton());
        key(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), tabs->segment(0));

        // Arrows walk the segments and switch the tool as they go.
        key(Qt::Key_Right);
        QCOMPARE(m_view->selectedTab(), 1);
        QCOMPARE(QApplication::focusWidget(), tabs->segment(1));
        QVERIFY(m_view->toolView(ContentView::Browser)->isVisible());
        key(Qt::Key_End);
        QCOMPARE(m_view->selectedTab(), 2);
        key(Qt::Key_Right);
        QCOMPARE(m_view->selectedTab(), 2);
        key(Qt::Key_Left);
        QCOMPARE(m_view->selectedTab(), 1);
        key(Qt::Key_Home);
        QCOMPARE(m_view->selectedTab(), 0);
        QCOMPARE(QApplication::focusWidget(), tabs->segment(0));

        // The row is one stop: Tab goes on to the gear, which opens the page.
        key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), m_view->settingsButton());
        key(Qt::Key_Space);
        QTRY_VERIFY(m_view->showSettings());
        QTest::keyClick(m_view->settingsPopover()->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!m_view->showSettings());

        m_view->settingsButton()->setFocus();
        key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), editor());
        key(Qt::Key_A);
        QCOMPARE(m_notes->text(), QStringLiteral("a"));
    }

    void sendToChatWithoutABrowserSaysWhyAndStaysOnFiles()
    {
        showPanel();
        const QString path = m_view->filesStore()->folderPath() + QStringLiteral("/note.txt");
        QFile file(path);
        QVERIFY(QDir().mkpath(m_view->filesStore()->folderPath()));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello") == 5);
        file.close();
        m_view->setSelectedTab(ContentView::Files);
        FilesView* files = m_view->filesView();
        QSignalSpy asked(files, &FilesView::sendToChatRequested);
        QTRY_COMPARE(files->model()->rowCount(), 1);
        files->listView()->setFocus();
        QTest::keyClick(files->listView(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).at(0).value<QList<QUrl>>(), QList<QUrl> {QUrl::fromLocalFile(path)});
        QCOMPARE(m_view->selectedTab(), int(ContentView::Files));
        QVERIFY(files->importNotice()->isVisible());
        QCOMPARE(files->importNotice()->text(), QStringLiteral("No page is open in the Browser to send to."));
    }
};

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
