#include "ShortcutRecorder.h"

#include <algorithm>
#include <array>

#include <QApplication>
#include <QKeyEvent>

#include "hotkey/HotkeyManager.h"
#include "keys/KeyPositions.h"
#include "keys/ModifierFlags.h"

namespace {
constexpr std::uint16_t escapeKeyCode = 53;
// Bit 1 of the core X11 state and of the default xkb modifier map (Wayland).
constexpr std::uint32_t nativeLockMask = 0x2;
constexpr std::uint64_t requiredModifiers = ModifierFlags::Super | ModifierFlags::Alt | ModifierFlags::Ctrl;

// Modifier keys by evdev code, for events whose Qt key is unknown.
constexpr std::array<std::uint32_t, 10> modifierEvdevCodes = {
    29,  97, // Ctrl
    42,  54, // Shift
    56,  100, // Alt, AltGr
    125, 126, // Super
    58, // Caps Lock
    69, // Num Lock
};
} // namespace

ShortcutRecorder::ShortcutRecorder(HotkeyManager& hotkeyManager, QObject* parent)
    : QObject(parent)
    , m_hotkeyManager(hotkeyManager)
{
    // The desktop hands a press of the current shortcut to its grab, not to
    // our windows: that is the current combination recorded again.
    connect(&m_hotkeyManager, &HotkeyManager::pressedWhileSuspended, this, [this] {
        if (!m_recording)
            return;
        m_hotkeyManager.updateToggle(m_hotkeyManager.toggleKeyCode(), m_hotkeyManager.toggleModifiers());
        stopRecording();
    });
}

ShortcutRecorder::~ShortcutRecorder()
{
    removeMonitor();
    if (m_recording)
        m_hotkeyManager.setSuspended(false);
}

void ShortcutRecorder::startRecording()
{
    setRecording(true);
    removeMonitor();
    if (qApp) {
        qApp->installEventFilter(this);
        m_monitorInstalled = true;
    }
}

void ShortcutRecorder::stopRecording()
{
    setRecording(false);
    removeMonitor();
}

void ShortcutRecorder::removeMonitor()
{
    if (m_monitorInstalled && qApp)
        qApp->removeEventFilter(this);
    m_monitorInstalled = false;
}

void ShortcutRecorder::setRecording(bool recording)
{
    if (m_recording == recording)
        return;
    m_recording = recording;
    m_hotkeyManager.setSuspended(recording);
    emit recordingChanged(recording);
}

std::uint64_t ShortcutRecorder::modifierFlags(const QKeyEvent& event)
{
    const auto modifiers = event.modifiers();
    std::uint64_t flags = 0;
    if (modifiers & Qt::ControlModifier)
        flags |= ModifierFlags::Ctrl;
    if (modifiers & Qt::ShiftModifier)
        flags |= ModifierFlags::Shift;
    if (modifiers & Qt::AltModifier)
        flags |= ModifierFlags::Alt;
    if (modifiers & Qt::MetaModifier)
        flags |= ModifierFlags::Super;
    if (event.nativeModifiers() & nativeLockMask)
        flags |= ModifierFlags::CapsLock;
    return flags & ModifierFlags::DeviceIndependentMask;
}

std::optional<std::uint16_t> ShortcutRecorder::keyCode(const QKeyEvent& event)
{
    return KeyPositions::keyCodeFromX11Keycode(event.nativeScanCode());
}

bool ShortcutRecorder::isModifierKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        break;
    }
    const auto scanCode = event.nativeScanCode();
    return scanCode >= 8
        && std::find(modifierEvdevCodes.begin(), modifierEvdevCodes.end(), scanCode - 8) != modifierEvdevCodes.end();
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claiming the key keeps application shortcuts from firing; the key
        // press that follows is where the combination is read.
        event->accept();
        return true;
    case QEvent::KeyPress:
        handleKeyPress(*static_cast<QKeyEvent*>(event));
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

void ShortcutRecorder::handleKeyPress(const QKeyEvent& event)
{
    const auto code = keyCode(event);
    if (event.key() == Qt::Key_Escape || code == escapeKeyCode) {
        stopRecording();
        return;
    }
    if (isModifierKey(event))
        return;
    const auto flags = modifierFlags(event);
    if (!(flags & requiredModifiers) || !code) {
        reject(!(flags & requiredModifiers));
        return;
    }
    // A combination the desktop refuses ends the recording too; the old
    // shortcut stays and the page says why.
    m_hotkeyManager.updateToggle(*code, flags);
    stopRecording();
}

void ShortcutRecorder::reject(bool needsModifier)
{
    QApplication::beep();
    emit shortcutRejected(needsModifier);
}
