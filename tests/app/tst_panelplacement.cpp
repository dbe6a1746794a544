// Where the real program puts its panel on screens of other sizes: each case
// runs on an X server of its own, with the window manager, so the screen can
// be small, scaled, shrunk while the panel is up, or made of two monitors.
#include <csignal>
#include <tuple>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/BuiltProgram.h"
#include "support/Poll.h"
#include "support/PrivateDisplay.h"
#include "support/X11Tools.h"

#include <sys/prctl.h>

using namespace X11Tools;

class TestPanelPlacement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_binary = BuiltProgram::path();
        QVERIFY2(!m_binary.isEmpty(), "QUILLNOOK_BINARY must name the built program");
    }

    void init() { m_home.emplace(); }
    void cleanup()
    {
        stop();
        m_display.reset();
    }

    void thePanelIsWhollyOnScreen_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("scale");
        QTest::addColumn<QRect>("expected");
        // 260 wide at least, with the 10-pixel gap to the right edge.
        QTest::newRow("800x600") << QStringLiteral("800x600") << QString() << QRect(530, 90, 260, 420);
        QTest::newRow("1024x768") << QStringLiteral("1024x768") << QString() << QRect(754, 115, 260, 538);
        // Twice the pixels of 720 x 450.
        QTest::newRow("1440x900 at scale 2")
            << QStringLiteral("1440x900") << QStringLiteral("2") << QRect(900, 135, 520, 630);
    }
    void thePanelIsWhollyOnScreen()
    {
        QFETCH(QString, screen);
        QFETCH(QString, scale);
        QFETCH(QRect, expected);
        m_display.emplace(QStringList {QStringLiteral("-screen"), QStringLiteral("0"), screen + QStringLiteral("x24")});
        QVERIFY(m_display->isReady());
        start(scale);
        const QStringList size = screen.split(QLatin1Char('x'));
        const QRect whole(0, 0, size.at(0).toInt(), size.at(1).toInt());
        const QRect panel = geometry(m_panel);
        QVERIFY2(whole.contains(panel), qPrintable(describe(panel)));
        QVERIFY2((panel.topLeft() - expected.topLeft()).manhattanLength() <= 2
                     && qAbs(panel.width() - expected.width()) <= 2 && qAbs(panel.height() - expected.height()) <= 2,
                 qPrintable(describe(panel)));
    }

    void aShrunkScreenBringsThePanelBackInside()
    {
        m_display.emplace(QStringList {QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1440x900x24")});
        QVERIFY(m_display->isReady());
        start();
        QCOMPARE(geometry(m_panel), QRect(1070, 135, 360, 630));

        // The laptop leaves its dock: the screen drops to 800 x 600.
        QVERIFY(PrivateDisplay::runs(QStringLiteral("xrandr"),
                                     {QStringLiteral("--newmode"), QStringLiteral("800x600"), QStringLiteral("0"),
                                      QStringLiteral("800"), QStringLiteral("0"), QStringLiteral("0"),
                                      QStringLiteral("0"), QStringLiteral("600"), QStringLiteral("0"),
                                      QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(
            PrivateDisplay::runs(QStringLiteral("xrandr"),
                                 {QStringLiteral("--addmode"), QStringLiteral("screen"), QStringLiteral("800x600")}));
        QVERIFY(PrivateDisplay::runs(QStringLiteral("xrandr"),
                                     {QStringLiteral("--output"), QStringLiteral("screen"), QStringLiteral("--mode"),
                                      QStringLiteral("800x600")}));
        // Never moved, it is placed again as on a first start on that screen:
        // 70 % of its height, 10 pixels from its right edge. Whether openbox
        // shifts it first or not, the outcome is the same.
        QTRY_VERIFY2_WITH_TIMEOUT(QRect(0, 0, 800, 600).contains(geometry(m_panel))
                                      && geometry(m_panel).height() == 420,
                                  qPrintable(describe(geometry(m_panel))), 5000);
        QCOMPARE(geometry(m_panel).right(), 800 - 10 - 1);
        QCOMPARE(geometry(m_panel).top(), 90);
        QVERIFY(isViewable(m_panel));

        // Moved by the user, it is only kept inside: the screen grows back,
        // the user puts it low on the screen, and the screen shrinks again.
        QVERIFY(PrivateDisplay::runs(QStringLiteral("xrandr"),
                                     {QStringLiteral("--output"), QStringLiteral("screen"), QStringLiteral("--mode"),
                                      QStringLiteral("1440x900")}));
        QTRY_COMPARE_WITH_TIMEOUT(geometry(m_panel), QRect(1070, 135, 360, 630), 5000);
        QVERIFY(PrivateDisplay::runs(
            QStringLiteral("xdotool"),
            {QStringLiteral("windowmove"), m_panel, QStringLiteral("700"), QStringLiteral("250")}));
        QTRY_COMPARE(geometry(m_panel).topLeft(), QPoint(700, 250));
        QVERIFY(PrivateDisplay::runs(QStringLiteral("xrandr"),
                                     {QStringLiteral("--output"), QStringLiteral("screen"), QStringLiteral("--mode"),
                                      QStringLiteral("800x600")}));
        QTRY_VERIFY2_WITH_TIMEOUT(QRect(0, 0, 800, 600).contains(geometry(m_panel)),
                                  qPrintable(describe(geometry(m_panel))), 5000);
        QCOMPARE(geometry(m_panel).height(), 600);
    }

    void anUnmovedPanelFollowsTheWorkArea()
    {
        m_display.emplace(QStringList {QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1440x900x24")});
        QVERIFY(m_display->isReady());
        start();
        QCOMPARE(geometry(m_panel), QRect(1070, 135, 360, 630));

        // A desktop panel takes a 100-pixel strip at the right edge after
        // Quillnook started (autostart at login): the panel moves inside.
        QVERIFY(setWorkArea(QRect(0, 0, 1340, 900)));
        QTRY_VERIFY2_WITH_TIMEOUT(near(geometry(m_panel), QRect(995, 135, 335, 630)),
                                  qPrintable(describe(geometry(m_panel))), 5000);

        // Once the user has moved it, it stays where they put it.
        QVERIFY(PrivateDisplay::runs(
            QStringLiteral("xdotool"),
            {QStringLiteral("windowmove"), m_panel, QStringLiteral("400"), QStringLiteral("100")}));
        QTRY_COMPARE(geometry(m_panel).topLeft(), QPoint(400, 100));
        QVERIFY(setWorkArea(QRect(0, 0, 1240, 900)));
        // Another process that rightly does nothing gives nothing to wait
        // for: a moment for a wrong move.
        QTest::qWait(500);
        QCOMPARE(geometry(m_panel).topLeft(), QPoint(400, 100));
    }

    void thePanelOpensOnTheMonitorWithThePointer_data()
    {
        QTest::addColumn<int>("pointerX");
        QTest::addColumn<QRect>("monitor");
        QTest::newRow("left monitor") << 300 << QRect(0, 0, 1024, 768);
        QTest::newRow("right monitor") << 1500 << QRect(1024, 0, 1024, 768);
    }
    void thePanelOpensOnTheMonitorWithThePointer()
    {
        QFETCH(int, pointerX);
        QFETCH(QRect, monitor);
        // Two monitors side by side, as RandR describes them to programs. (Xvfb's
        // own Xinerama stacks its screens at the same place.)
        m_display.emplace(QStringList {QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("2048x768x24")});
        QVERIFY(m_display->isReady());
        QVERIFY(xrandr({QStringLiteral("--setmonitor"), QStringLiteral("left"), QStringLiteral("1024/270x768/200+0+0"),
                        QStringLiteral("screen")}));
        QVERIFY(xrandr({QStringLiteral("--setmonitor"), QStringLiteral("right"),
                        QStringLiteral("1024/270x768/200+1024+0"), QStringLiteral("none")}));
        QVERIFY(PrivateDisplay::runs(QStringLiteral("xdotool"),
                                     {QStringLiteral("mousemove"), QString::number(pointerX), QStringLiteral("300")}));
        start();
        const QRect panel = geometry(m_panel);
        QVERIFY2(monitor.contains(panel), qPrintable(describe(panel)));
        QCOMPARE(panel.right(), monitor.right() - 10);

        // Its monitor unplugged, the panel comes over to the one left.
        if (monitor.x() > 0) {
            QVERIFY(xrandr({QStringLiteral("--delmonitor"), QStringLiteral("right")}));
            QTRY_VERIFY2_WITH_TIMEOUT(QRect(0, 0, 1024, 768).contains(geometry(m_panel)),
                                      qPrintable(describe(geometry(m_panel))), 5000);
        }
    }

private:
    static bool xrandr(const QStringList& args) { return PrivateDisplay::runs(QStringLiteral("xrandr"), args); }

    // What a window manager announces when a desktop panel reserves a strip.
    static bool setWorkArea(const QRect& area)
    {
        return PrivateDisplay::runs(
            QStringLiteral("xprop"),
            {QStringLiteral("-root"), QStringLiteral("-f"), QStringLiteral("_NET_WORKAREA"), QStringLiteral("32c"),
             QStringLiteral("-set"), QStringLiteral("_NET_WORKAREA"),
             QStringLiteral("%1,%2,%3,%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height())});
    }

    static bool near(const QRect& a, const QRect& b)
    {
        return (a.topLeft() - b.topLeft()).manhattanLength() <= 2 && qAbs(a.width() - b.width()) <= 2
            && qAbs(a.height() - b.height()) <= 2;
    }

    static QString describe(const QRect& r)
    {
        return QStringLiteral("panel at %1,%2 size %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }

    void start(const QString& scale = {})
    {
        QProcessEnvironment env = BuiltProgram::environment(m_home->path());
        if (!scale.isEmpty())
            env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("Documents"))));
        QVERIFY(BuiltProgram::start(m_process, m_binary, env));
        m_panel = waitForViewableWindow(QStringLiteral("quillnook"), QStringLiteral("Quillnook"));
        QVERIFY2(!m_panel.isEmpty(), "the panel did not show");
        // The window manager may still be placing it.
        std::ignore = settled([this] { return geometry(m_panel); }, 2000);
    }

    void stop()
    {
        endProgram(m_process);
        m_panel.clear();
    }

    QString m_binary;
    std::optional<QTemporaryDir> m_home;
    std::optional<PrivateDisplay> m_display;
    QProcess m_process;
    QString m_panel;
};

QTEST_GUILESS_MAIN(TestPanelPlacement)
#include "tst_panelplacement.moc"
