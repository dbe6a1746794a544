#include <tuple>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include "platform/x11/X11PanelWindowHints.h"
#include "support/X11TestClient.h"

// Under openbox, read back by another X client: what the window manager and
// any taskbar or pager see on the panel's window.
class TestX11PanelWindowHints : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hintsSetBeforeTheMap();
    void hintsSurviveHideAndShow();
    void hintsRequestedOnAMappedWindow();

private:
    // The panel's own flags: Qt adds _NET_WM_STATE_ABOVE for the last one.
    static Qt::WindowFlags panelFlags() { return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint; }
    // What the panel does: apply before every map and once it is up.
    void showLikeThePanel(QWidget& widget);
    bool waitForPanelHints(std::uint32_t window);

    X11TestClient m_client;
    X11PanelWindowHints m_hints;
    // The panel's states this window manager keeps; one without STICKY
    // (openbox) says "every desktop" through _NET_WM_DESKTOP alone.
    QStringList m_managedStates;
};

namespace {
const QStringList panelStates {QStringLiteral("_NET_WM_STATE_STICKY"), QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR"),
                               QStringLiteral("_NET_WM_STATE_SKIP_PAGER"), QStringLiteral("_NET_WM_STATE_ABOVE")};
} // namespace

void TestX11PanelWindowHints::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(m_client.isConnected());
    const QStringList supported = m_client.atomNames(m_client.rootWindow(), QStringLiteral("_NET_SUPPORTED"));
    QVERIFY2(supported.contains(QStringLiteral("_NET_WM_DESKTOP")), "needs a window manager with EWMH support");
    for (const QString& state : panelStates) {
        if (supported.contains(state))
            m_managedStates.append(state);
    }
    QVERIFY(m_managedStates.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")));
}

void TestX11PanelWindowHints::showLikeThePanel(QWidget& widget)
{
    widget.winId();
    m_hints.apply(widget.windowHandle());
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    m_hints.apply(widget.windowHandle());
}

bool TestX11PanelWindowHints::waitForPanelHints(std::uint32_t window)
{
    return QTest::qWaitFor(
        [&] {
            const QStringList states = m_client.atomNames(window, QStringLiteral("_NET_WM_STATE"));
            for (const QString& state : std::as_const(m_managedStates)) {
                if (!states.contains(state))
                    return false;
            }
            return m_client.cardinal(window, QStringLiteral("_NET_WM_DESKTOP")) == 0xFFFFFFFFU;
        },
        15000);
}

void TestX11PanelWindowHints::hintsSetBeforeTheMap()
{
    QWidget panel(nullptr, panelFlags());
    panel.resize(240, 320);
    const auto window = static_cast<std::uint32_t>(panel.winId());
    m_hints.apply(panel.windowHandle());

    // Written straight onto the withdrawn window, for the manager to read at the map.
    QVERIFY(!m_client.isMapped(window));
    for (const QString& state : panelStates)
        QTRY_VERIFY2(m_client.atomNames(window, QStringLiteral("_NET_WM_STATE")).contains(state), qPrintable(state));
    QCOMPARE(m_client.cardinal(window, QStringLiteral("_NET_WM_DESKTOP")), std::optional<std::uint32_t>(0xFFFFFFFFU));

    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QVERIFY(m_client.isMapped(window));
    QVERIFY2(waitForPanelHints(window),
             qPrintable(m_client.atomNames(window, QStringLiteral("_NET_WM_STATE")).join(QLatin1Char(' '))));
}

void TestX11PanelWindowHints::hintsSurviveHideAndShow()
{
    QWidget panel(nullptr, panelFlags());
    panel.resize(240, 320);
    showLikeThePanel(panel);
    const auto window = static_cast<std::uint32_t>(panel.winId());
    QVERIFY(waitForPanelHints(window));

    for (int round = 0; round < 2; ++round) {
        panel.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!m_client.isMapped(window), 15000);
        // Give the manager time to withdraw the window, erasing its state, as
        // it has by the time a person brings the panel back.
        std::ignore = QTest::qWaitFor([&] { return !m_client.hasProperty(window, QStringLiteral("WM_STATE")); }, 15000);
        // Nobody brings the panel back within milliseconds of hiding it; this
        // pause is what is being tested, not a wait for something.
        QTest::qWait(300);
        showLikeThePanel(panel);
        QVERIFY2(waitForPanelHints(window),
                 qPrintable(m_client.atomNames(window, QStringLiteral("_NET_WM_STATE")).join(QLatin1Char(' '))
                            + QStringLiteral(" desktop=%1 wmstate=%2 mapped=%3")
                                  .arg(m_client.cardinal(window, QStringLiteral("_NET_WM_DESKTOP")).value_or(0))
                                  .arg(m_client.hasProperty(window, QStringLiteral("WM_STATE")))
                                  .arg(m_client.isMapped(window))));
    }
}

void TestX11PanelWindowHints::hintsRequestedOnAMappedWindow()
{
    // A plain window, shown with no hints: only the window manager can
    // change its state now, on request.
    QWidget panel(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    panel.resize(240, 320);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const auto window = static_cast<std::uint32_t>(panel.winId());
    QTRY_VERIFY(m_client.isMapped(window));
    QVERIFY(
        !m_client.atomNames(window, QStringLiteral("_NET_WM_STATE")).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));

    m_hints.apply(panel.windowHandle());
    QVERIFY2(waitForPanelHints(window),
             qPrintable(m_client.atomNames(window, QStringLiteral("_NET_WM_STATE")).join(QLatin1Char(' '))));
}

QTEST_MAIN(TestX11PanelWindowHints)
#include "tst_x11panelwindowhints.moc"
