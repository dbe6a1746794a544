#include <QTest>

#include "platform/SessionEnvironment.h"

namespace {
QProcessEnvironment environment(const QStringList& pairs)
{
    QProcessEnvironment env;
    for (const QString& pair : pairs)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    return env;
}
} // namespace

class TestSessionEnvironment : public QObject
{
    Q_OBJECT

private slots:
    void theSessionDecidesTheToolkitsBackends_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<bool>("startupProblem");
        QTest::addColumn<bool>("browserProblem");
        const QString display = QStringLiteral("DISPLAY=:0");
        QTest::newRow("X11 session") << QStringList {display, QStringLiteral("XDG_SESSION_TYPE=x11")} << false
                                     << QStringList {} << false << false;
        QTest::newRow("Wayland by its display")
            << QStringList {display, QStringLiteral("WAYLAND_DISPLAY=wayland-0")} << true
            << QStringList {QStringLiteral("GDK_BACKEND=x11"), QStringLiteral("QT_QPA_PLATFORM=xcb")} << false << false;
        QTest::newRow("Wayland by the session type")
            << QStringList {display, QStringLiteral("XDG_SESSION_TYPE=wayland")} << true
            << QStringList {QStringLiteral("GDK_BACKEND=x11"), QStringLiteral("QT_QPA_PLATFORM=xcb")} << false << false;
        QTest::newRow("the user's own choices stay")
            << QStringList {display, QStringLiteral("WAYLAND_DISPLAY=wayland-0"), QStringLiteral("QT_QPA_PLATFORM=xcb"),
                            QStringLiteral("GDK_BACKEND=x11,wayland")}
            << true << QStringList {} << false << false;
        QTest::newRow("an empty choice is no choice")
            << QStringList {display, QStringLiteral("WAYLAND_DISPLAY=wayland-0"), QStringLiteral("QT_QPA_PLATFORM=")}
            << true << QStringList {QStringLiteral("GDK_BACKEND=x11"), QStringLiteral("QT_QPA_PLATFORM=xcb")} << false
            << false;
        QTest::newRow("no XWayland") << QStringList {QStringLiteral("WAYLAND_DISPLAY=wayland-0")} << true
                                     << QStringList {QStringLiteral("GDK_BACKEND=x11"),
                                                     QStringLiteral("QT_QPA_PLATFORM=xcb")}
                                     << true << false;
        QTest::newRow("forced native Wayland: notes and files, no browser")
            << QStringList {QStringLiteral("WAYLAND_DISPLAY=wayland-0"), QStringLiteral("QT_QPA_PLATFORM=wayland")}
            << true << QStringList {QStringLiteral("GDK_BACKEND=x11")} << false << true;
        QTest::newRow("a fallback list that starts with Wayland")
            << QStringList {display, QStringLiteral("XDG_SESSION_TYPE=wayland"),
                            QStringLiteral("QT_QPA_PLATFORM=wayland;xcb")}
            << true << QStringList {QStringLiteral("GDK_BACKEND=x11")} << false << true;
        // Without a session at all (a console, ssh) nothing is touched.
        QTest::newRow("no session") << QStringList {} << false << QStringList {} << false << false;
    }
    void theSessionDecidesTheToolkitsBackends()
    {
        QFETCH(QStringList, given);
        QFETCH(bool, wayland);
        QFETCH(QStringList, overrides);
        QFETCH(bool, startupProblem);
        QFETCH(bool, browserProblem);
        const SessionEnvironment session(environment(given));
        QCOMPARE(session.isWaylandSession(), wayland);
        QStringList actual = session.toolkitOverrides().toStringList();
        actual.sort();
        QCOMPARE(actual, overrides);
        QCOMPARE(!session.startupProblem().isEmpty(), startupProblem);
        QCOMPARE(!session.browserProblem().isEmpty(), browserProblem);
    }

    void theMissingXWaylandLineSaysWhatToDo()
    {
        const QString line
            = SessionEnvironment(environment({QStringLiteral("XDG_SESSION_TYPE=wayland")})).startupProblem();
        QVERIFY(line.contains(QLatin1String("XWayland")));
        QVERIFY(!line.contains(u'\n'));
    }

    void aMissingWaylandPluginFallsBackOrSaysWhy()
    {
        auto forced = environment({QStringLiteral("WAYLAND_DISPLAY=wayland-0"), QStringLiteral("DISPLAY=:1"),
                                   QStringLiteral("QT_QPA_PLATFORM=wayland")});
        const auto missing = SessionEnvironment(forced).missingWaylandPlugin(false);
        QVERIFY(missing && missing->canRunThroughXWayland);
        QCOMPARE(missing->message.count(u'\n'), 0);
        QVERIFY(!SessionEnvironment(forced).missingWaylandPlugin(true));

        auto noX = forced;
        noX.remove(QStringLiteral("DISPLAY"));
        const auto stuck = SessionEnvironment(noX).missingWaylandPlugin(false);
        QVERIFY(stuck && !stuck->canRunThroughXWayland);

        // Qt falls back along a list on its own; XWayland is the default anyway.
        auto list = forced;
        list.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland;xcb"));
        QVERIFY(!SessionEnvironment(list).missingWaylandPlugin(false));
        forced.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QVERIFY(!SessionEnvironment(forced).missingWaylandPlugin(false));
    }

    void theDesktopIsReadFromItsList()
    {
        QVERIFY(SessionEnvironment(environment({QStringLiteral("XDG_CURRENT_DESKTOP=ubuntu:GNOME")})).isGnomeSession());
        QVERIFY(
            !SessionEnvironment(environment({QStringLiteral("XDG_CURRENT_DESKTOP=GNOME-Flashback")})).isGnomeSession());
        QVERIFY(SessionEnvironment(environment({QStringLiteral("XDG_CURRENT_DESKTOP=KDE")})).isKdeSession());
        QVERIFY(!SessionEnvironment(environment({QStringLiteral("XDG_CURRENT_DESKTOP=XFCE")})).isKdeSession());
    }
};

QTEST_GUILESS_MAIN(TestSessionEnvironment)
#include "tst_sessionenvironment.moc"
