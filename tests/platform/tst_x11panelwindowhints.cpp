#include <cstdlib>
#include <memory>
#include <tuple>

#include <xcb/xcb.h>

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
    void aPositionQtGotWrongIsSetRight();

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

// Where the window's top-left corner is on the screen, as the server says.
QPoint serverPosition(xcb_connection_t* connection, xcb_window_t window)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr);
    const QPoint position = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint(-1, -1);
    std::free(reply);
    return position;
}

// The word a window manager sends after moving a window, with a position of
// its choosing.
void claimPosition(xcb_connection_t* connection, xcb_window_t window, QPoint position, QSize size)
{
    xcb_configure_notify_event_t event {};
    event.response_type = XCB_CONFIGURE_NOTIFY;
    event.event = window;
    event.window = window;
    event.x = std::int16_t(position.x());
    event.y = std::int16_t(position.y());
    event.width = std::uint16_t(size.width());
    event.height = std::uint16_t(size.height());
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&event));
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}
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
            // Alone in a group of its own: no other window of the program
            // counts as its main window (KWin hides a tool window whose main
            // window belongs to an inactive program).
            return m_client.cardinal(window, QStringLiteral("_NET_WM_DESKTOP")) == 0xFFFFFFFFU
                && m_client.windowGroup(window) == window;
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
    QCOMPARE(m_client.windowGroup(window), std::optional<std::uint32_t>(window));

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

void TestX11PanelWindowHints::aPositionQtGotWrongIsSetRight()
{
    // A manager that moves the panel's frame after Qt asked where the panel
    // is, and says nothing of it, leaves Qt with a wrong position (openbox,
    // now and then): mapToGlobal, popups and drops then miss the panel.
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    QVERIFY(!xcb_connection_has_error(connection));
    const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> closer(connection, xcb_disconnect);
    QWidget panel(nullptr, panelFlags());
    panel.setGeometry(300, 200, 240, 320);
    showLikeThePanel(panel);
    const auto window = static_cast<xcb_window_t>(panel.winId());
    QTRY_VERIFY(m_client.hasProperty(window, QStringLiteral("WM_STATE")));
    const QPoint actual = serverPosition(connection, window);
    QTRY_COMPARE(panel.windowHandle()->position(), actual);

    const QPoint wrong = actual + QPoint(111, 77);
    claimPosition(connection, window, wrong, panel.size());
    QTRY_COMPARE(panel.windowHandle()->position(), wrong);
    m_hints.apply(panel.windowHandle());
    QTRY_COMPARE(panel.windowHandle()->position(), actual);
    QCOMPARE(panel.mapToGlobal(QPoint(0, 0)), actual);
    QCOMPARE(serverPosition(connection, window), actual);
}

QTEST_MAIN(TestX11PanelWindowHints)
#include "tst_x11panelwindowhints.moc"
