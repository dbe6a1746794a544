#include "HotkeyManager.h"

#include <limits>

#include "hotkey/ModifierFlags.h"
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

    installHandler();
    connect(&m_service, &HotkeyService::desktopOwnsBindingChanged, this, &HotkeyManager::desktopOwnsBindingChanged);
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

void HotkeyManager::updateToggle(std::uint16_t keyCode, std::uint64_t modifiers)
{
    setToggleKeyCode(keyCode);
    setToggleModifiers(modifiers);
    m_defaults.writeInteger(keyCodeKey, keyCode);
    // Stored unmasked; the preferences file keeps signed integers, and the
    // flags never reach the sign bit.
    m_defaults.writeInteger(modifiersKey, static_cast<std::int64_t>(modifiers & 0x7FFFFFFFFFFFFFFFULL));
    registerHotkey();
}

std::uint32_t HotkeyManager::carbonModifiers(std::uint64_t flags)
{
    std::uint32_t mask = 0;
    if (flags & ModifierFlags::Command)
        mask |= HotkeyService::Command;
    if (flags & ModifierFlags::Shift)
        mask |= HotkeyService::Shift;
    if (flags & ModifierFlags::Option)
        mask |= HotkeyService::Option;
    if (flags & ModifierFlags::Control)
        mask |= HotkeyService::Control;
    return mask;
}

void HotkeyManager::installHandler()
{
    m_eventHandlerRef = connect(&m_service, &HotkeyService::hotkeyPressed, this, &HotkeyManager::handleHotkey);
}

void HotkeyManager::handleHotkey(std::uint32_t id)
{
    if (id != HotKeyId)
        return;
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
    if (m_suspended == suspended)
        return;
    m_suspended = suspended;
    registerHotkey();
}

void HotkeyManager::registerHotkey()
{
    if (m_hotKeyRef) {
        m_service.unregisterHotkey(*m_hotKeyRef);
        m_hotKeyRef.reset();
    }
    if (m_suspended)
        return;
    m_hotKeyRef = m_service.registerHotkey(m_toggleKeyCode, carbonModifiers(m_toggleModifiers), HotKeyId);
}
