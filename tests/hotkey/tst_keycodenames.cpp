#include <QTest>

#include "keys/KeyCodeNames.h"
#include "keys/KeyPositions.h"

class TestKeyCodeNames : public QObject
{
    Q_OBJECT

private slots:
    void name_data();
    void name();
    void tableHasExactly44Names();
    void nativeName_data();
    void nativeName();
    void everyKeyPositionHasANativeName();
};

void TestKeyCodeNames::name_data()
{
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Z is 6, not alphabetical") << 6 << QStringLiteral("Z");
    QTest::newRow("Y is 16") << 16 << QStringLiteral("Y");
    QTest::newRow("digit 5 is 23") << 23 << QStringLiteral("5");
    QTest::newRow("return") << 36 << QStringLiteral("Return");
    QTest::newRow("escape") << 53 << QStringLiteral("Esc");
    QTest::newRow("F1 has no name") << 122 << QStringLiteral("Key122");
    QTest::newRow("delete has no name") << 51 << QStringLiteral("Key51");
    QTest::newRow("largest code") << 65535 << QStringLiteral("Key65535");
}

void TestKeyCodeNames::name()
{
    QFETCH(int, keyCode);
    QFETCH(QString, expected);
    QCOMPARE(KeyCodeNames::name(static_cast<std::uint16_t>(keyCode)), expected);
}

void TestKeyCodeNames::tableHasExactly44Names()
{
    int named = 0;
    for (int code = 0; code <= 0xFFFF; ++code) {
        const auto text = KeyCodeNames::name(static_cast<std::uint16_t>(code));
        if (text != QStringLiteral("Key") + QString::number(code))
            ++named;
    }
    QCOMPARE(named, 44);
}

void TestKeyCodeNames::nativeName_data()
{
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("escape") << 53 << QStringLiteral("Esc");
    QTest::newRow("left arrow as a word") << 123 << QStringLiteral("Left");
    QTest::newRow("down arrow as a word") << 125 << QStringLiteral("Down");
    QTest::newRow("F1") << 0x7A << QStringLiteral("F1");
    QTest::newRow("page down") << 0x79 << QStringLiteral("Page Down");
    QTest::newRow("backspace") << 0x33 << QStringLiteral("Backspace");
    QTest::newRow("forward delete") << 0x75 << QStringLiteral("Delete");
    QTest::newRow("slash") << 0x2C << QStringLiteral("/");
    QTest::newRow("keypad 5") << 0x57 << QStringLiteral("Num 5");
    QTest::newRow("no position") << 0x1234 << QStringLiteral("Key4660");
}

void TestKeyCodeNames::nativeName()
{
    QFETCH(int, keyCode);
    QFETCH(QString, expected);
    QCOMPARE(KeyCodeNames::nativeName(static_cast<std::uint16_t>(keyCode)), expected);
}

void TestKeyCodeNames::everyKeyPositionHasANativeName()
{
    // Any key the recorder can accept must show as a real name on the button.
    for (int code = 0; code <= 0xFF; ++code) {
        const auto keyCode = static_cast<std::uint16_t>(code);
        if (!KeyPositions::evdevFromKeyCode(keyCode))
            continue;
        const auto text = KeyCodeNames::nativeName(keyCode);
        QVERIFY2(!text.startsWith(QLatin1String("Key")), qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(TestKeyCodeNames)
#include "tst_keycodenames.moc"
