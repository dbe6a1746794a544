#include "HotkeyManager.h"

#include <limits>

#include "keys/ModifierFlags.h"
#include "platform/DesktopShortcutSetup.h"
#include "platform/PreferencesStore.h"

namespace {
const QString keyCodeKey = QStringLiteral("toggleKeyCode");
const QString modifiersKey = QStringLiteral("toggleModifiers");
} // namespace

HotkeyManager::HotkeyManager(HotkeyService& service, PreferencesStore& defaults, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_defaults(defaults)
{
    // A stored value of the wrong kind or out of range falls back to the
    // default and is left as it is in the file.
    if (const auto code = m_defaults.readInteger(keyCodeKey, 0, std::numeric_limits<std::uint16_t>::max()))
        m_toggleKeyCode = static_cast<std::uint16_t>(*code);
    if (const auto flags = m_defaults.readInteger(modifiersKey, 0, std::numeric_limits<std::int64_t>::max()))
        m_toggleModifiers = static_cast<std::uint64_t>(*flags);
    // A combination without Ctrl, Alt or Super would grab a plain key for the
    // whole desktop; such a stored one is not used at all.
    if (!(m_toggleModifiers & RequiredModifiers)) {
        m_toggleKeyCode = DefaultKeyCode;
        m_toggleModifiers = DefaultModifiers;
    }

    installHandler();
    connect(&m_service, &HotkeyService::desktopOwnsBindingChanged, this, &HotkeyManager::desktopOwnsBindingChanged);
    connect(&m_service, &HotkeyService::reachChanged, this, [this] {
        // A better way to the shortcut came up: one the last way refused
        // may be free there.
        if (!m_hotKeyRef)
            registerHotkey();
        emit reachChanged();
    });
    connect(&m_service, &HotkeyService::registrationRefused, this, [this] { setConflict(true); });
    connect(&m_service, &HotkeyService::combinationChangedByDesktop, this, &HotkeyManager::takeDesktopCombination);
    registerHotkey();
}

HotkeyManager::~HotkeyManager()
{
    if (m_hotKeyRef)
        m_service.unregisterHotkey(*m_hotKeyRef);
    QObject::disconnect(m_eventHandlerRef);
}

void HotkeyManager::setToggleKeyCode(std::uint16_t keyCode)
{
    m_toggleKeyCode = keyCode;
    emit toggleKeyCodeChanged(keyCode);
}

void HotkeyManager::setToggleModifiers(std::uint64_t modifiers)
{
    m_toggleModifiers = modifiers;
    emit toggleModifiersChanged(modifiers);
}

bool HotkeyManager::updateToggle(std::uint16_t keyCode, std::uint64_t modifiers)
{
    // The new grab comes before the old one is released, so a refusal leaves
    // the working shortcut in place. Grabbing a combination we already hold
    // succeeds, which keeps a repeat of the current one at one registration.
    const auto registration = m_service.registerHotkey(keyCode, registrationModifiers(modifiers), HotKeyId);
    if (!registration) {
        setConflict(true);
        return false;
    }
    if (m_hotKeyRef)
        m_service.unregisterHotkey(*m_hotKeyRef);
    m_hotKeyRef = registration;
    setConflict(false);

    setToggleKeyCode(keyCode);
    setToggleModifiers(modifiers);
    store();
    if (m_desktopSetup)
        m_desktopSetup->updateBinding(keyCode, registrationModifiers(modifiers));
    return true;
}

void HotkeyManager::store()
{
    m_defaults.writeInteger(keyCodeKey, m_toggleKeyCode);
    // Stored unmasked; the preferences file keeps signed integers, and the
    // flags never reach the sign bit.
    m_defaults.writeInteger(modifiersKey, static_cast<std::int64_t>(m_toggleModifiers & 0x7FFFFFFFFFFFFFFFULL));
}

void HotkeyManager::setUpInDesktop()
{
    if (m_desktopSetup)
        m_desktopSetup->setUp(m_toggleKeyCode, registrationModifiers(m_toggleModifiers));
}

void HotkeyManager::takeDesktopCombination(std::uint16_t keyCode, std::uint32_t modifiers)
{
    // The desktop already holds it; only the shown and stored value follow.
    const std::uint32_t combination = registrationModifiers(modifiers);
    if (keyCode == m_toggleKeyCode && registrationModifiers(m_toggleModifiers) == combination)
        return;
    setConflict(false);
    setToggleKeyCode(keyCode);
    setToggleModifiers(combination);
    store();
}

void HotkeyManager::setDesktopSetup(DesktopShortcutSetup* setup)
{
    QObject::disconnect(m_desktopSetupRef);
    m_desktopSetup = setup;
    if (setup)
        m_desktopSetupRef = connect(setup, &DesktopShortcutSetup::combinationFound, this,
                                    &HotkeyManager::adoptDesktopSetupCombination);
}

void HotkeyManager::adoptDesktopSetupCombination(std::uint16_t keyCode, std::uint32_t modifiers)
{
    const std::uint64_t flags = registrationModifiers(modifiers);
    if (keyCode == m_toggleKeyCode && registrationModifiers(m_toggleModifiers) == flags)
        return;
    // A combination without Ctrl, Alt or Super is never taken, wherever it
    // comes from.
    if (!(flags & RequiredModifiers))
        return;
    // The desktop fires it everywhere already; Quillnook's own grab, which
    // only reaches its windows, moves along so the old one stops working.
    // A refusal there leaves the old grab and still shows what the desktop
    // holds.
    if (const auto registration = m_service.registerHotkey(keyCode, registrationModifiers(flags), HotKeyId)) {
        if (m_hotKeyRef)
            m_service.unregisterHotkey(*m_hotKeyRef);
        m_hotKeyRef = registration;
    }
    setConflict(false);
    setToggleKeyCode(keyCode);
    setToggleModifiers(flags);
    store();
}

std::uint32_t HotkeyManager::registrationModifiers(std::uint64_t flags)
{
    // The stored flags themselves, less Caps Lock and any other bit.
    return static_cast<std::uint32_t>(flags & ModifierFlags::Combination);
}

void HotkeyManager::installHandler()
{
    m_eventHandlerRef = connect(&m_service, &HotkeyService::hotkeyPressed, this, &HotkeyManager::handleHotkey);
}

void HotkeyManager::handleHotkey(std::uint32_t id)
{
    if (id != HotKeyId)
        return;
    if (m_suspended) {
        emit pressedWhileSuspended();
        return;
    }
    // Toggle outside the platform's event dispatch; onToggle is read when the
    // task runs, and the task dies with the manager.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_onToggle)
                m_onToggle();
        },
        Qt::QueuedConnection);
}

void HotkeyManager::setSuspended(bool suspended)
{
    m_suspended = suspended;
}

void HotkeyManager::registerHotkey()
{
    if (m_hotKeyRef) {
        m_service.unregisterHotkey(*m_hotKeyRef);
        m_hotKeyRef.reset();
    }
    m_hotKeyRef = m_service.registerHotkey(m_toggleKeyCode, registrationModifiers(m_toggleModifiers), HotKeyId);
    setConflict(!m_hotKeyRef);
}

void HotkeyManager::setConflict(bool conflict)
{
    if (m_conflict == conflict)
        return;
    m_conflict = conflict;
    emit conflictChanged(conflict);
}
