#include <QTest>

#include "keys/KeyPositions.h"

// A stored key code names a key position; the X11 backend grabs that
// position's keycode (evdev + 8) whatever the layout.
class TestX11Keycodes : public QObject
{
    Q_OBJECT

private slots:
    void knownPositions_data();
    void knownPositions();
    void everyPositionRoundTrips();
    void unknownCodesHaveNoKey();
};

void TestX11Keycodes::knownPositions_data()
{
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<int>("evdev");

    QTest::newRow("X") << 0x07 << 45;
    QTest::newRow("A") << 0x00 << 30;
    QTest::newRow("Space") << 0x31 << 57;
    QTest::newRow("Escape") << 0x35 << 1;
    QTest::newRow("Left") << 0x7B << 105;
    QTest::newRow("F1") << 0x7A << 59;
    QTest::newRow("F20") << 0x5A << 190;
    QTest::newRow("keypad 0") << 0x52 << 82;
}

void TestX11Keycodes::knownPositions()
{
    QFETCH(int, keyCode);
    QFETCH(int, evdev);

    const auto code = static_cast<std::uint16_t>(keyCode);
    QCOMPARE(KeyPositions::evdevFromKeyCode(code), std::optional<std::uint16_t>(evdev));
    QCOMPARE(KeyPositions::x11KeycodeFromKeyCode(code), std::optional<std::uint16_t>(evdev + 8));
    QCOMPARE(KeyPositions::keyCodeFromX11Keycode(static_cast<std::uint32_t>(evdev + 8)),
             std::optional<std::uint16_t>(keyCode));
}

void TestX11Keycodes::everyPositionRoundTrips()
{
    int positions = 0;
    for (std::uint32_t code = 0; code <= 0xFF; ++code) {
        const auto keyCode = static_cast<std::uint16_t>(code);
        const auto evdev = KeyPositions::evdevFromKeyCode(keyCode);
        if (!evdev)
            continue;
        ++positions;
        QCOMPARE(KeyPositions::keyCodeFromEvdev(*evdev), std::optional<std::uint16_t>(keyCode));
        // An X keycode is one byte; every position we know must fit.
        const auto x11 = KeyPositions::x11KeycodeFromKeyCode(keyCode);
        QVERIFY2(x11 && *x11 <= 255, qPrintable(QString::number(code, 16)));
    }
    // Letters, digits, punctuation, editing, navigation, F1-F20, keypad.
    QVERIFY(positions >= 100);
}

void TestX11Keycodes::unknownCodesHaveNoKey()
{
    // 0x3B is the left Control key: a modifier, never the key of a shortcut.
    for (const std::uint16_t code : {std::uint16_t(0x3B), std::uint16_t(0x7F), std::uint16_t(0xFFFF)}) {
        QVERIFY(!KeyPositions::evdevFromKeyCode(code));
        QVERIFY(!KeyPositions::x11KeycodeFromKeyCode(code));
    }
    QVERIFY(!KeyPositions::keyCodeFromX11Keycode(0));
    QVERIFY(!KeyPositions::keyCodeFromX11Keycode(7));
    QVERIFY(!KeyPositions::keyCodeFromEvdev(0));
}

QTEST_APPLESS_MAIN(TestX11Keycodes)
#include "tst_x11keycodes.moc"
