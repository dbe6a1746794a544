#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include "keys/ModifierFlags.h"
#include "settings/SettingsView.h"
#include "support/SettingsFixture.h"

using namespace ModifierFlags;

namespace {
// evdev codes; the X11 keycode that Qt reports as the native scan code is 8 more.
constexpr quint32 evdevK = 37;
constexpr quint32 evdevA = 30;
constexpr quint32 evdevSpace = 57;
constexpr quint32 evdevEscape = 1;
constexpr quint32 evdevLeftCtrl = 29;
constexpr quint32 evdevLeftMeta = 125;
constexpr quint32 lockMask = 0x2;

void pressKey(QObject* target, int key, Qt::KeyboardModifiers modifiers, quint32 evdev, const QString& text = {},
              quint32 nativeModifiers = 0)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, evdev + 8, 0, nativeModifiers, text);
    QApplication::sendEvent(target, &press);
}
} // namespace

class TestShortcutRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void acceptsCombination_data();
    void acceptsCombination();
    void keepsRecording_data();
    void keepsRecording();
    void escapeEndsWithoutChange_data();
    void escapeEndsWithoutChange();
    void startsFromKeyboard();
    void leavingThePageRemovesTheFilter_data();
    void leavingThePageRemovesTheFilter();
    void keystrokesNeverReachOtherWindows();
    void aTakenCombinationKeepsTheOldShortcut();
    void theCurrentShortcutPressedWhileRecordingIsKept();
    void applicationShortcutsDoNotFire();
    void aBindingTheDesktopOwnsIsSaidInTheCaption();

private:
    QPushButton* shortcutButton() const { return m_view->findChild<QPushButton*>(QStringLiteral("shortcutButton")); }

    std::unique_ptr<SettingsFixture> m_fixture;
    std::unique_ptr<SettingsView> m_view;
    std::unique_ptr<QPlainTextEdit> m_editor;
};

void TestShortcutRecorder::init()
{
    m_fixture = std::make_unique<SettingsFixture>();
    m_view = std::make_unique<SettingsView>(m_fixture->hotkeyManager, m_fixture->panelSettings);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    // A window of its own, standing for the panel's other tools.
    m_editor = std::make_unique<QPlainTextEdit>();
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestShortcutRecorder::cleanup()
{
    m_editor.reset();
    m_view.reset();
    m_fixture.reset();
}

void TestShortcutRecorder::acceptsCombination_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("qtModifiers");
    QTest::addColumn<quint32>("evdev");
    QTest::addColumn<quint32>("nativeModifiers");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<quint64>("modifiers");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<quint32>("grabMask");

    QTest::newRow("Ctrl+Shift+K") << int(Qt::Key_K) << (Qt::ControlModifier | Qt::ShiftModifier) << evdevK << 0u << 40
                                  << quint64(Ctrl | Shift) << QStringLiteral("Ctrl+Shift+K") << 0x120000u;
    QTest::newRow("caps lock goes along with Alt")
        << int(Qt::Key_K) << Qt::KeyboardModifiers(Qt::AltModifier) << evdevK << lockMask << 40
        << quint64(CapsLock | Alt) << QStringLiteral("Alt+K") << 0x80000u;
    QTest::newRow("Super+Alt+Space") << int(Qt::Key_Space) << (Qt::MetaModifier | Qt::AltModifier) << evdevSpace << 0u
                                     << 49 << quint64(Super | Alt) << QStringLiteral("Super+Alt+Space") << 0xC0000u;
    // The key position counts, not the character the layout puts there.
    QTest::newRow("position, not character") << int(Qt::Key_Q) << Qt::KeyboardModifiers(Qt::ControlModifier) << evdevA
                                             << 0u << 0 << quint64(Ctrl) << QStringLiteral("Ctrl+A") << 0x100000u;
    QTest::newRow("function key without a short name")
        << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::ControlModifier) << 63u << 0u << 0x60 << quint64(Ctrl)
        << QStringLiteral("Ctrl+F5") << 0x100000u;
}

void TestShortcutRecorder::acceptsCombination()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, qtModifiers);
    QFETCH(quint32, evdev);
    QFETCH(quint32, nativeModifiers);
    QFETCH(int, keyCode);
    QFETCH(quint64, modifiers);
    QFETCH(QString, shown);
    QFETCH(quint32, grabMask);

    QSignalSpy rejected(m_view.get(), &SettingsView::shortcutRejected);
    QTest::mouseClick(shortcutButton(), Qt::LeftButton);
    QVERIFY(m_view->isRecording());
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Press keys…"));
    QCOMPARE(m_view->findChild<QLabel*>(QStringLiteral("shortcutCaption"))->text(),
             QStringLiteral("Press a new key combo…"));
    // The current shortcut stays held while recording.
    QCOMPARE(m_fixture->service.live.size(), 1u);

    pressKey(shortcutButton(), key, qtModifiers, evdev, {}, nativeModifiers);

    QCOMPARE(rejected.count(), 0);
    QCOMPARE(m_fixture->hotkeyManager.toggleKeyCode(), keyCode);
    QCOMPARE(m_fixture->hotkeyManager.toggleModifiers(), modifiers);
    QCOMPARE(m_fixture->preferences.readInteger(QStringLiteral("toggleModifiers"), 0, 0xFFFFFFFF), qint64(modifiers));
    QCOMPARE(m_fixture->service.live.size(), 1u);
    QCOMPARE(m_fixture->service.live.begin()->second.keyCode, keyCode);
    QCOMPARE(m_fixture->service.live.begin()->second.modifiers, grabMask);
    QVERIFY(!m_view->isRecording());
    QVERIFY(!m_view->hasMonitor());
    QCOMPARE(shortcutButton()->text(), shown);
    QCOMPARE(m_view->findChild<QLabel*>(QStringLiteral("shortcutCaption"))->text(),
             QStringLiteral("Click the shortcut, then press your new key combo."));
}

void TestShortcutRecorder::keepsRecording_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("qtModifiers");
    QTest::addColumn<quint32>("evdev");
    QTest::addColumn<quint32>("nativeModifiers");
    QTest::addColumn<bool>("beeps");
    QTest::addColumn<QString>("caption");
    using Mods = Qt::KeyboardModifiers;
    const QString needsModifier = QStringLiteral("The shortcut needs Ctrl, Alt or Super. Press a new key combo…");
    const QString waiting = QStringLiteral("Press a new key combo…");
    QTest::newRow("Shift alone is not enough")
        << int(Qt::Key_K) << Mods(Qt::ShiftModifier) << evdevK << 0u << true << needsModifier;
    QTest::newRow("no modifier") << int(Qt::Key_K) << Mods() << evdevK << 0u << true << needsModifier;
    QTest::newRow("caps lock alone") << int(Qt::Key_K) << Mods() << evdevK << lockMask << true << needsModifier;
    QTest::newRow("key without a position")
        << int(Qt::Key_K) << Mods(Qt::ControlModifier) << 200u << 0u << true
        << QStringLiteral("That key cannot be part of a shortcut. Press a new key combo…");
    // Linux sends a key press for a modifier on its own; it is part of the combination being typed.
    QTest::newRow("Ctrl") << int(Qt::Key_Control) << Mods(Qt::ControlModifier) << evdevLeftCtrl << 0u << false
                          << waiting;
    QTest::newRow("Shift while Ctrl is held")
        << int(Qt::Key_Shift) << (Qt::ControlModifier | Qt::ShiftModifier) << 42u << 0u << false << waiting;
    QTest::newRow("Super known only by position")
        << int(Qt::Key_unknown) << Mods(Qt::MetaModifier) << evdevLeftMeta << 0u << false << waiting;
    QTest::newRow("Caps Lock") << int(Qt::Key_CapsLock) << Mods() << 58u << 0u << false << waiting;
    QTest::newRow("Num Lock with Ctrl") << int(Qt::Key_NumLock) << Mods(Qt::ControlModifier) << 69u << 0u << false
                                        << waiting;
}

void TestShortcutRecorder::keepsRecording()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, qtModifiers);
    QFETCH(quint32, evdev);
    QFETCH(quint32, nativeModifiers);
    QFETCH(bool, beeps);
    QFETCH(QString, caption);

    QSignalSpy rejected(m_view.get(), &SettingsView::shortcutRejected);
    const auto grabsBefore = m_fixture->service.registerCalls;
    m_view->startRecording();
    pressKey(m_editor.get(), key, qtModifiers, evdev, {}, nativeModifiers);

    QCOMPARE(rejected.count(), beeps ? 1 : 0);
    QVERIFY(m_view->isRecording());
    QVERIFY(m_view->hasMonitor());
    QCOMPARE(m_fixture->service.registerCalls, grabsBefore);
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Press keys…"));
    QCOMPARE(m_view->findChild<QLabel*>(QStringLiteral("shortcutCaption"))->text(), caption);

    // The next press is examined again.
    pressKey(m_editor.get(), Qt::Key_K, Qt::ControlModifier, evdevK);
    QVERIFY(!m_view->isRecording());
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Ctrl+K"));
}

void TestShortcutRecorder::escapeEndsWithoutChange_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("qtModifiers");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers();
    QTest::newRow("Ctrl+Escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Escape position, unknown key") << int(Qt::Key_unknown) << (Qt::ControlModifier | Qt::AltModifier);
}

void TestShortcutRecorder::escapeEndsWithoutChange()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, qtModifiers);

    QSignalSpy rejected(m_view.get(), &SettingsView::shortcutRejected);
    m_view->startRecording();
    pressKey(shortcutButton(), key, qtModifiers, evdevEscape);

    QVERIFY(!m_view->isRecording());
    QVERIFY(!m_view->hasMonitor());
    QCOMPARE(rejected.count(), 0);
    // The shortcut is held as before, unchanged.
    QCOMPARE(m_fixture->service.live.size(), 1u);
    QCOMPARE(m_fixture->service.live.begin()->second.keyCode, HotkeyManager::DefaultKeyCode);
    QCOMPARE(m_fixture->service.live.begin()->second.modifiers, 0x120000u);
    QCOMPARE(m_fixture->hotkeyManager.toggleKeyCode(), HotkeyManager::DefaultKeyCode);
    QCOMPARE(m_fixture->hotkeyManager.toggleModifiers(), HotkeyManager::DefaultModifiers);
    QVERIFY(!m_fixture->preferences.value(QStringLiteral("toggleKeyCode")));
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Ctrl+Shift+X"));
}

void TestShortcutRecorder::startsFromKeyboard()
{
    m_view->activateWindow();
    shortcutButton()->setFocus();
    QTest::keyClick(shortcutButton(), Qt::Key_Space);
    QVERIFY(m_view->isRecording());
    pressKey(shortcutButton(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, evdevK);
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Ctrl+Alt+K"));
}

void TestShortcutRecorder::leavingThePageRemovesTheFilter_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("page hidden") << false;
    QTest::newRow("page destroyed") << true;
}

void TestShortcutRecorder::leavingThePageRemovesTheFilter()
{
    QFETCH(bool, destroy);
    QSignalSpy recording(m_view.get(), &SettingsView::recordingChanged);
    QTest::mouseClick(shortcutButton(), Qt::LeftButton);
    QTest::mouseClick(shortcutButton(), Qt::LeftButton);
    QVERIFY(m_view->hasMonitor());

    if (destroy) {
        m_view.reset();
    } else {
        m_view->hide();
        QVERIFY(!m_view->isRecording());
        QVERIFY(!m_view->hasMonitor());
        QCOMPARE(shortcutButton()->text(), QStringLiteral("Ctrl+Shift+X"));
    }
    QCOMPARE(recording.count(), 2);
    QCOMPARE(recording.last().at(0).toBool(), false);
    // The shortcut works again.
    QCOMPARE(m_fixture->service.live.size(), 1u);

    // With the filter gone, typing reaches other widgets again.
    pressKey(m_editor.get(), Qt::Key_A, {}, evdevA, QStringLiteral("a"));
    QCOMPARE(m_editor->toPlainText(), QStringLiteral("a"));
}

void TestShortcutRecorder::keystrokesNeverReachOtherWindows()
{
    m_view->startRecording();
    pressKey(m_editor.get(), Qt::Key_A, {}, evdevA, QStringLiteral("a"));
    pressKey(m_editor.get(), Qt::Key_A, Qt::ShiftModifier, evdevA, QStringLiteral("A"));
    QVERIFY(m_view->isRecording());
    pressKey(m_editor.get(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, evdevK, QStringLiteral("\x0b"));
    QVERIFY(!m_view->isRecording());
    QCOMPARE(m_editor->toPlainText(), QString());
    QCOMPARE(m_fixture->hotkeyManager.toggleKeyCode(), 40);

    pressKey(m_editor.get(), Qt::Key_B, {}, 48, QStringLiteral("b"));
    QCOMPARE(m_editor->toPlainText(), QStringLiteral("b"));
}

void TestShortcutRecorder::applicationShortcutsDoNotFire()
{
    QAction action;
    action.setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    action.setShortcutContext(Qt::ApplicationShortcut);
    m_editor->addAction(&action);
    m_editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_editor.get()));
    QSignalSpy triggered(&action, &QAction::triggered);

    // Without recording the press reaches the shortcut, so the check below means something.
    pressKey(m_editor.get(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, evdevK);
    QCOMPARE(triggered.count(), 1);

    m_view->startRecording();
    pressKey(m_editor.get(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, evdevK);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(m_fixture->hotkeyManager.toggleKeyCode(), 40);
    QCOMPARE(m_fixture->hotkeyManager.toggleModifiers(), quint64(Ctrl | Shift));
}

void TestShortcutRecorder::aTakenCombinationKeepsTheOldShortcut()
{
    m_fixture->service.taken.insert({40, 0x120000});
    int toggles = 0;
    m_fixture->hotkeyManager.setOnToggle([&toggles] { ++toggles; });
    QTest::mouseClick(shortcutButton(), Qt::LeftButton);
    pressKey(shortcutButton(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, evdevK);

    QVERIFY(!m_view->isRecording());
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Ctrl+Shift+X"));
    const QString conflict = QStringLiteral("Another program uses this shortcut. Click to choose another.");
    QCOMPARE(m_view->findChild<QLabel*>(QStringLiteral("shortcutCaption"))->text(), conflict);
    QCOMPARE(shortcutButton()->accessibleDescription(), conflict);
    QVERIFY(!m_fixture->preferences.value(QStringLiteral("toggleKeyCode")).has_value());
    // The old shortcut is back and still works.
    QCOMPARE(m_fixture->service.live.size(), 1u);
    m_fixture->service.press(7, 0x120000);
    QTRY_COMPARE(toggles, 1);

    // Choosing a free one clears the message.
    QTest::mouseClick(shortcutButton(), Qt::LeftButton);
    pressKey(shortcutButton(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier, evdevA);
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Ctrl+Alt+A"));
    QCOMPARE(m_view->findChild<QLabel*>(QStringLiteral("shortcutCaption"))->text(),
             QStringLiteral("Click the shortcut, then press your new key combo."));
}

void TestShortcutRecorder::theCurrentShortcutPressedWhileRecordingIsKept()
{
    int toggles = 0;
    m_fixture->hotkeyManager.setOnToggle([&toggles] { ++toggles; });
    m_view->startRecording();
    // The desktop gives the press to the grab, not to a window.
    m_fixture->service.press(7, 0x120000);
    QVERIFY(!m_view->isRecording());
    QCoreApplication::processEvents();
    QCOMPARE(toggles, 0);
    QCOMPARE(shortcutButton()->text(), QStringLiteral("Ctrl+Shift+X"));
    QCOMPARE(m_fixture->service.live.size(), 1u);
    // Recording over, the shortcut toggles again.
    m_fixture->service.press(7, 0x120000);
    QTRY_COMPARE(toggles, 1);
}

void TestShortcutRecorder::aBindingTheDesktopOwnsIsSaidInTheCaption()
{
    auto* caption = m_view->findChild<QLabel*>(QStringLiteral("shortcutCaption"));
    const QString owned = QStringLiteral("Your desktop's keyboard settings own this shortcut; change it there.");
    m_fixture->service.setOwnedByDesktop(true);
    QCOMPARE(caption->text(), owned);

    // Recording still works: the combination is stored and offered next time.
    QTest::mouseClick(shortcutButton(), Qt::LeftButton);
    QCOMPARE(caption->text(), QStringLiteral("Press a new key combo…"));
    pressKey(shortcutButton(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, evdevK);
    QCOMPARE(m_fixture->hotkeyManager.toggleKeyCode(), 40);
    QCOMPARE(caption->text(), owned);

    m_fixture->service.setOwnedByDesktop(false);
    QCOMPARE(caption->text(), QStringLiteral("Click the shortcut, then press your new key combo."));
}

QTEST_MAIN(TestShortcutRecorder)
#include "tst_shortcutrecorder.moc"
