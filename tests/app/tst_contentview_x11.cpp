#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "PanelFixture.h"
#include "app/Popover.h"
#include "app/WindowDragHandle.h"
#include "settings/SettingsView.h"
#include "support/Poll.h"
#include "support/X11Tools.h"

namespace {
using X11Tools::xdotool;

QStringList at(const QPoint& global)
{
    return {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())};
}

QStringList pause()
{
    return {QStringLiteral("sleep"), QStringLiteral("0.3")};
}

bool click(const QPoint& global)
{
    return xdotool(at(global) + pause() + QStringList {QStringLiteral("click"), QStringLiteral("1")} + pause());
}

bool drag(const QPoint& from, const QPoint& by)
{
    const QPoint to = from + by;
    return xdotool(at(from) + pause() + QStringList {QStringLiteral("mousedown"), QStringLiteral("1")} + pause()
                   + at(from + by / 2) + pause() + at(to) + pause()
                   + QStringList {QStringLiteral("mouseup"), QStringLiteral("1")} + pause());
}

// The window manager may still be placing a window it has just mapped.
QPoint settledTopLeft(QWidget* window)
{
    return settled([window] { return window->frameGeometry().topLeft(); }, 5000);
}

QPoint centreOf(QWidget* widget)
{
    return widget->mapToGlobal(widget->rect().center());
}
} // namespace

class TestContentViewX11 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PanelFixture> m_fixture;
    FloatingPanel* m_panel = nullptr;
    ContentView* m_view = nullptr;

    QPlainTextEdit* editor() const { return m_fixture->editor(); }

    void showPanel()
    {
        m_panel->orderFrontAndFocus();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel));
        QTRY_VERIFY(m_panel->isActiveWindow());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
                 "needs the X server that scripts/test starts");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(), "xdotool is missing");
    }

    void init()
    {
        m_fixture = std::make_unique<PanelFixture>(QRect(600, 100, 360, 580));
        m_panel = &m_fixture->panel;
        m_view = m_fixture->view;
        showPanel();
    }

    void cleanup() { m_fixture.reset(); }

    void dragStripMovesThePanel_data()
    {
        QTest::addColumn<bool>("onCapsule");
        QTest::newRow("on the capsule") << true;
        QTest::newRow("beside the capsule") << false;
    }
    void dragStripMovesThePanel()
    {
        QFETCH(bool, onCapsule);
        WindowDragHandle* strip = m_view->dragHandle();
        const QPoint local = onCapsule ? strip->capsuleRect().center() : QPoint(strip->width() - 40, 2);
        const QPoint before = settledTopLeft(m_panel);
        QVERIFY(drag(strip->mapToGlobal(local), QPoint(-150, 60)));
        QTRY_VERIFY2_WITH_TIMEOUT((m_panel->frameGeometry().topLeft() - before - QPoint(-150, 60)).manhattanLength()
                                      <= 4,
                                  qPrintable(QStringLiteral("from (%1, %2) to (%3, %4)")
                                                 .arg(before.x())
                                                 .arg(before.y())
                                                 .arg(m_panel->frameGeometry().x())
                                                 .arg(m_panel->frameGeometry().y())),
                                  5000);
    }

    void panelBackgroundDoesNotMoveIt()
    {
        // The gap between the tabs and the gear is plain background.
        QAbstractButton* gear = m_view->settingsButton();
        const QPoint gap = gear->mapToGlobal(QPoint(-ContentView::GearLeadingSpace, gear->height() / 2));
        const QPoint before = m_panel->frameGeometry().topLeft();
        QVERIFY(drag(gap, QPoint(-150, 60)));
        // A move would come from the window manager, which gives no sign when
        // it declines one: a moment for it.
        QTest::qWait(200);
        QCOMPARE(m_panel->frameGeometry().topLeft(), before);
    }

    void secondPressOnTheGearClosesTheSettings()
    {
        QAbstractButton* gear = m_view->settingsButton();
        QVERIFY(click(centreOf(gear)));
        QTRY_VERIFY(m_view->showSettings());
        Popover* popover = m_view->settingsPopover();
        QVERIFY(QTest::qWaitForWindowExposed(popover));

        QVERIFY(click(centreOf(gear)));
        QTRY_VERIFY(!popover->isVisible());
        // The release of that press comes from the X server; give it time to
        // arrive and not open the page again.
        QTest::qWait(300);
        QVERIFY(!popover->isVisible());
        QVERIFY(!m_view->showSettings());

        QVERIFY(click(centreOf(gear)));
        QTRY_VERIFY(popover->isVisible());
    }

    void clickOutsideClosesTheSettingsAndReachesTheNotes()
    {
        m_fixture->notesStore.setText(QStringLiteral("one\ntwo\nthree"));
        QVERIFY(click(centreOf(m_view->settingsButton())));
        QTRY_VERIFY(m_view->showSettings());
        Popover* popover = m_view->settingsPopover();
        QVERIFY(QTest::qWaitForWindowExposed(popover));

        // Just past the end of the first line, left of the page.
        const QRect firstLine = editor()->cursorRect(QTextCursor(editor()->document()));
        const QPoint target = editor()->viewport()->mapToGlobal(firstLine.center() + QPoint(60, 0));
        QVERIFY(!popover->geometry().contains(target));
        QVERIFY(click(target));
        QTRY_VERIFY(!popover->isVisible());
        QVERIFY(!m_view->showSettings());
        QTRY_COMPARE(QApplication::focusWidget(), editor());
        QCOMPARE(editor()->textCursor().position(), 3);
    }

    void theSettingsCloseWhenAnotherWindowTakesTheFocus()
    {
        QVERIFY(click(centreOf(m_view->settingsButton())));
        QTRY_VERIFY(m_view->showSettings());
        Popover* popover = m_view->settingsPopover();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        // The page has the keyboard, without holding it.
        QTRY_VERIFY(popover->isActiveWindow());
        QTRY_COMPARE(QApplication::focusWidget(), m_view->settingsView()->focusProxy());

        QWidget elsewhere;
        elsewhere.setGeometry(100, 100, 300, 200);
        elsewhere.show();
        elsewhere.activateWindow();
        QTRY_VERIFY(elsewhere.isActiveWindow());
        QTRY_VERIFY(!popover->isVisible());
        QVERIFY(!m_view->showSettings());
    }

    void showingThePanelFocusesTheChosenTool()
    {
        // Another window takes the focus while the panel is away, as the
        // user's other programs do.
        QWidget elsewhere;
        elsewhere.setGeometry(100, 100, 300, 200);
        auto hideToElsewhere = [&] {
            m_panel->orderOut();
            elsewhere.show();
            elsewhere.activateWindow();
            QTRY_VERIFY(elsewhere.isActiveWindow());
        };

        QCOMPARE(QApplication::focusWidget(), editor());
        m_view->settingsButton()->setFocus();
        hideToElsewhere();
        showPanel();
        QTRY_COMPARE(QApplication::focusWidget(), editor());
        QTest::keyClick(m_panel->windowHandle(), Qt::Key_Y);
        QCOMPARE(m_fixture->notesStore.text(), QStringLiteral("y"));

        m_view->setSelectedTab(ContentView::Files);
        hideToElsewhere();
        showPanel();
        QWidget* files = m_view->toolView(ContentView::Files);
        QTRY_VERIFY(QApplication::focusWidget() == files || files->isAncestorOf(QApplication::focusWidget()));
    }
};

QTEST_MAIN(TestContentViewX11)
#include "tst_contentview_x11.moc"
