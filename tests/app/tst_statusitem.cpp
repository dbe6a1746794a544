#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "app/StatusItem.h"

class TestStatusItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void menuShowsTheThreeCommandsAroundOneSeparator()
    {
        StatusItem item;
        const QList<QAction*> actions = item.menu()->actions();
        QStringList shown;
        for (QAction* action : actions)
            shown << (action->isSeparator() ? QStringLiteral("---") : action->text());
        QCOMPARE(shown,
                 (QStringList {QStringLiteral("Toggle Panel"), QStringLiteral("Reveal Notes File"),
                               QStringLiteral("---"), QStringLiteral("Quit")}));
        for (QAction* action : actions)
            QVERIFY(action->isEnabled());
        QVERIFY(actions.at(0)->shortcut().isEmpty());
        QVERIFY(actions.at(1)->shortcut().isEmpty());
        QCOMPARE(actions.at(3)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    }

    void trayIconIsNamed()
    {
        StatusItem item;
        QCOMPARE(item.trayIcon()->toolTip(), QStringLiteral("Quillnook"));
        QCOMPARE(item.menu()->accessibleName(), QStringLiteral("Quillnook"));
    }

    void ctrlQChoosesQuitWhileTheMenuIsOpen()
    {
        StatusItem item;
        QSignalSpy quit(&item, &StatusItem::quitRequested);
        QSignalSpy toggled(&item, &StatusItem::toggleRequested);
        QSignalSpy revealed(&item, &StatusItem::revealRequested);
        QMenu* menu = item.menu();
        menu->popup(QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::keyClick(menu, Qt::Key_Q, Qt::ControlModifier);
        QTRY_COMPARE(quit.count(), 1);
        QCOMPARE(toggled.count() + revealed.count(), 0);
    }
};

QTEST_MAIN(TestStatusItem)
#include "tst_statusitem.moc"
