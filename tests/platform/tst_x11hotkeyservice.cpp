#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include "keys/KeyPositions.h"
#include "platform/x11/X11HotkeyService.h"
#include "support/X11TestClient.h"

// Presses come from xdotool (XTEST), i.e. from outside the application, on
// the X server of $DISPLAY; refusals come from a second real X client.
class TestX11HotkeyService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firesForTheRegisteredCombination_data();
    void firesForTheRegisteredCombination();
    void ignoresOtherModifierStates_data();
    void ignoresOtherModifierStates();
    void firesWithALockLit_data();
    void firesWithALockLit();
    void firesWithNumLockMovedToAnotherModifier();
    void heldKeyFiresOnce();
    void firesWhileOurWindowHasTheFocus();
    void silentAndReleasedAfterUnregister();
    void sharedCombinationOutlivesOneRegistration();
    void refusesACombinationAnotherClientHolds();
    void partlyRefusedGrabLeavesNothingBehind();
    void releasesItsGrabsWhenDestroyed();

private:
    static constexpr std::uint16_t keyX = 0x07;
    static constexpr std::uint16_t keyC = 0x08;
    static constexpr std::uint32_t ctrlShift = ModifierFlags::Ctrl | ModifierFlags::Shift;
    static constexpr std::uint16_t shiftControlBits = X11TestClient::ShiftBit | X11TestClient::ControlBit;

    // Presses the sentinel (Shift+Ctrl+C, id 99) and waits for it: every
    // press sent before it has been handled by then.
    bool flushWithSentinel(QSignalSpy& spy);
    static std::uint8_t x11Keycode(std::uint16_t keyCode)
    {
        return static_cast<std::uint8_t>(*KeyPositions::x11KeycodeFromKeyCode(keyCode));
    }
    static QList<std::uint32_t> ids(const QSignalSpy& spy);

    std::unique_ptr<X11HotkeyService> m_service;
    std::unique_ptr<X11TestClient> m_client;
};

void TestX11HotkeyService::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("version")}) == 0, "xdotool is needed");
}

void TestX11HotkeyService::init()
{
    m_service = X11HotkeyService::create();
    QVERIFY(m_service);
    m_client = std::make_unique<X11TestClient>();
    QVERIFY(m_client->isConnected());
}

void TestX11HotkeyService::cleanup()
{
    m_service.reset();
    m_client.reset();
}

bool TestX11HotkeyService::flushWithSentinel(QSignalSpy& spy)
{
    const auto sentinel = m_service->registerHotkey(keyC, ctrlShift, 99);
    if (!sentinel)
        return false;
    const qsizetype before = spy.count();
    X11TestKeys::press(QStringLiteral("shift+ctrl+c"));
    const bool seen = QTest::qWaitFor([&] { return spy.count() > before && ids(spy).last() == 99; });
    m_service->unregisterHotkey(*sentinel);
    if (seen)
        spy.removeLast();
    return seen;
}

QList<std::uint32_t> TestX11HotkeyService::ids(const QSignalSpy& spy)
{
    QList<std::uint32_t> result;
    for (const auto& arguments : spy)
        result.append(arguments.at(0).value<std::uint32_t>());
    return result;
}

void TestX11HotkeyService::firesForTheRegisteredCombination_data()
{
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("keys");

    QTest::newRow("Shift+Ctrl+X") << int(keyX) << int(ctrlShift) << QStringLiteral("shift+ctrl+x");
    QTest::newRow("Ctrl+Alt+1") << 0x12 << int(ModifierFlags::Ctrl | ModifierFlags::Alt)
                                << QStringLiteral("ctrl+alt+1");
    QTest::newRow("Super+Shift+A") << 0x00 << int(ModifierFlags::Super | ModifierFlags::Shift)
                                   << QStringLiteral("super+shift+a");
    QTest::newRow("F12 alone") << 0x6F << 0 << QStringLiteral("F12");
}

void TestX11HotkeyService::firesForTheRegisteredCombination()
{
    QFETCH(int, keyCode);
    QFETCH(int, modifiers);
    QFETCH(QString, keys);

    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    const auto registration
        = m_service->registerHotkey(static_cast<std::uint16_t>(keyCode), static_cast<std::uint32_t>(modifiers), 7);
    QVERIFY(registration);

    QVERIFY(X11TestKeys::press(keys));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(ids(spy), QList<std::uint32_t>({7}));

    QVERIFY(X11TestKeys::press(keys));
    QTRY_COMPARE(spy.count(), 2);
}

void TestX11HotkeyService::ignoresOtherModifierStates_data()
{
    QTest::addColumn<QString>("keys");

    QTest::newRow("Ctrl+X") << QStringLiteral("ctrl+x");
    QTest::newRow("Shift+X") << QStringLiteral("shift+x");
    QTest::newRow("X") << QStringLiteral("x");
    QTest::newRow("Shift+Ctrl+Alt+X") << QStringLiteral("shift+ctrl+alt+x");
    QTest::newRow("Shift+Ctrl+Super+X") << QStringLiteral("shift+ctrl+super+x");
    QTest::newRow("Shift+Ctrl+Z") << QStringLiteral("shift+ctrl+z");
}

void TestX11HotkeyService::ignoresOtherModifierStates()
{
    QFETCH(QString, keys);

    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    QVERIFY(m_service->registerHotkey(keyX, ctrlShift, 1));

    QVERIFY(X11TestKeys::press(keys));
    QVERIFY(flushWithSentinel(spy));
    QCOMPARE(spy.count(), 0);
}

void TestX11HotkeyService::firesWithALockLit_data()
{
    QTest::addColumn<QString>("lock");

    QTest::newRow("Caps Lock") << QStringLiteral("Caps_Lock");
    QTest::newRow("Num Lock") << QStringLiteral("Num_Lock");
}

void TestX11HotkeyService::firesWithALockLit()
{
    QFETCH(QString, lock);

    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    QVERIFY(m_service->registerHotkey(keyX, ctrlShift, 1));

    const X11TestKeys::ScopedLock lit(*m_client, lock);
    QVERIFY2(lit.bit() != 0, "the lock did not light");
    QVERIFY(X11TestKeys::press(QStringLiteral("shift+ctrl+x")));
    QTRY_COMPARE(ids(spy), QList<std::uint32_t>({1}));
}

void TestX11HotkeyService::firesWithNumLockMovedToAnotherModifier()
{
    std::uint16_t numLockBit = 0;
    {
        const X11TestKeys::ScopedLock lit(*m_client, QStringLiteral("Num_Lock"));
        numLockBit = lit.bit();
    }
    QVERIFY(numLockBit);
    constexpr std::uint16_t mod3 = 0x20;
    QVERIFY2(numLockBit != mod3, "Num Lock sits on Mod3 already");

    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    QVERIFY(m_service->registerHotkey(keyX, ctrlShift, 1));

    // Another program remaps the keyboard after the grab was taken.
    QVERIFY2(m_client->moveModifierKeys(numLockBit, mod3), "Mod3 is in use");
    const auto restore = qScopeGuard([&] { m_client->moveModifierKeys(mod3, numLockBit); });
    {
        const X11TestKeys::ScopedLock lit(*m_client, QStringLiteral("Num_Lock"));
        QCOMPARE(lit.bit(), mod3);
        // A press that comes before the service has seen the remapping is
        // missed, so press until one arrives; with stale lock bits none does.
        QVERIFY(QTest::qWaitFor([&] {
            X11TestKeys::press(QStringLiteral("shift+ctrl+x"));
            return !spy.isEmpty() || spy.wait(50);
        }));
        QCOMPARE(ids(spy).first(), 1U);
    }
}

void TestX11HotkeyService::heldKeyFiresOnce()
{
    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    QVERIFY(m_service->registerHotkey(keyX, ctrlShift, 1));

    // Held past the server's repeat delay (660 ms by default), the key
    // comes again every few dozen milliseconds.
    QVERIFY(X11TestKeys::keyDown(QStringLiteral("shift+ctrl+x")));
    // Held this long, repeats that must not count have had their time.
    QTest::qWait(1000);
    QVERIFY(X11TestKeys::keyUp(QStringLiteral("shift+ctrl+x")));
    QVERIFY(flushWithSentinel(spy));
    QCOMPARE(spy.count(), 1);

    // Released, the next press counts again.
    QVERIFY(X11TestKeys::press(QStringLiteral("shift+ctrl+x")));
    QTRY_COMPARE(spy.count(), 2);
}

void TestX11HotkeyService::firesWhileOurWindowHasTheFocus()
{
    QWindow window;
    window.resize(200, 150);
    window.show();
    window.requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_COMPARE(m_client->focusWindow(), static_cast<std::uint32_t>(window.winId()));

    int keyPresses = 0;
    class KeyCounter : public QObject
    {
    public:
        explicit KeyCounter(int& count)
            : m_count(count)
        { }
        bool eventFilter(QObject*, QEvent* event) override
        {
            // Shift and Ctrl go down before the grab takes the keyboard;
            // only the shortcut's own key would be typing.
            if (event->type() == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key != Qt::Key_Shift && key != Qt::Key_Control)
                    ++m_count;
            }
            return false;
        }

    private:
        int& m_count;
    } counter(keyPresses);
    window.installEventFilter(&counter);

    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    QVERIFY(m_service->registerHotkey(keyX, ctrlShift, 1));
    QVERIFY(X11TestKeys::press(QStringLiteral("shift+ctrl+x")));
    QTRY_COMPARE(ids(spy), QList<std::uint32_t>({1}));
    // The shortcut is not typing in the focused window.
    QVERIFY(flushWithSentinel(spy));
    QCOMPARE(keyPresses, 0);
    window.removeEventFilter(&counter);
}

void TestX11HotkeyService::silentAndReleasedAfterUnregister()
{
    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    const auto registration = m_service->registerHotkey(keyX, ctrlShift, 1);
    QVERIFY(registration);
    m_service->unregisterHotkey(*registration);
    m_service->unregisterHotkey(*registration);

    QVERIFY(X11TestKeys::press(QStringLiteral("shift+ctrl+x")));
    QVERIFY(flushWithSentinel(spy));
    QCOMPARE(spy.count(), 0);

    // Every lock combination was let go: another program may take them.
    for (const std::uint16_t locks : {0, int(X11TestClient::LockBit)})
        QVERIFY(m_client->grabKey(x11Keycode(keyX), shiftControlBits | locks));
    m_client->ungrabKey(x11Keycode(keyX), shiftControlBits);
    m_client->ungrabKey(x11Keycode(keyX), shiftControlBits | X11TestClient::LockBit);

    // And it can be registered again.
    QVERIFY(m_service->registerHotkey(keyX, ctrlShift, 2));
    QVERIFY(X11TestKeys::press(QStringLiteral("shift+ctrl+x")));
    QTRY_COMPARE(ids(spy), QList<std::uint32_t>({2}));
}

void TestX11HotkeyService::sharedCombinationOutlivesOneRegistration()
{
    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    const auto first = m_service->registerHotkey(keyX, ctrlShift, 1);
    const auto second = m_service->registerHotkey(keyX, ctrlShift, 2);
    QVERIFY(first && second);
    QVERIFY(*first != *second);

    m_service->unregisterHotkey(*first);
    QVERIFY(X11TestKeys::press(QStringLiteral("shift+ctrl+x")));
    QTRY_COMPARE(ids(spy), QList<std::uint32_t>({2}));
    QVERIFY(!m_client->grabKey(x11Keycode(keyX), shiftControlBits));
}

void TestX11HotkeyService::refusesACombinationAnotherClientHolds()
{
    QVERIFY(m_client->grabKey(x11Keycode(keyX), shiftControlBits));

    QVERIFY(!m_service->registerHotkey(keyX, ctrlShift, 1));
    // No position on the keyboard (0x3B is a modifier key).
    QVERIFY(!m_service->registerHotkey(0x3B, ctrlShift, 1));

    QSignalSpy spy(m_service.get(), &HotkeyService::hotkeyPressed);
    QVERIFY(m_service->registerHotkey(keyX, ModifierFlags::Ctrl | ModifierFlags::Alt, 2));
    QVERIFY(X11TestKeys::press(QStringLiteral("ctrl+alt+x")));
    QTRY_COMPARE(ids(spy), QList<std::uint32_t>({2}));
}

void TestX11HotkeyService::partlyRefusedGrabLeavesNothingBehind()
{
    // The other program holds only the Caps Lock variant.
    QVERIFY(m_client->grabKey(x11Keycode(keyX), shiftControlBits | X11TestClient::LockBit));
    QVERIFY(!m_service->registerHotkey(keyX, ctrlShift, 1));

    X11TestClient third;
    QVERIFY(third.isConnected());
    QVERIFY(third.grabKey(x11Keycode(keyX), shiftControlBits));
}

void TestX11HotkeyService::releasesItsGrabsWhenDestroyed()
{
    QVERIFY(m_service->registerHotkey(keyX, ctrlShift, 1));
    QVERIFY(!m_client->grabKey(x11Keycode(keyX), shiftControlBits));
    m_service.reset();
    QVERIFY(m_client->grabKey(x11Keycode(keyX), shiftControlBits));
    QVERIFY(m_client->grabKey(x11Keycode(keyX), shiftControlBits | X11TestClient::LockBit));
}

QTEST_MAIN(TestX11HotkeyService)
#include "tst_x11hotkeyservice.moc"
