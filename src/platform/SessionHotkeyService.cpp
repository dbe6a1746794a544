#include "SessionHotkeyService.h"

SessionHotkeyService::SessionHotkeyService(std::unique_ptr<HotkeyService> first, QObject* parent)
    : HotkeyService(parent)
    , m_current(std::move(first))
{
    follow(*m_current);
}

SessionHotkeyService::~SessionHotkeyService() = default;

void SessionHotkeyService::follow(HotkeyService& service)
{
    connect(&service, &HotkeyService::hotkeyPressed, this, &HotkeyService::hotkeyPressed);
    connect(&service, &HotkeyService::desktopOwnsBindingChanged, this, &HotkeyService::desktopOwnsBindingChanged);
    connect(&service, &HotkeyService::reachChanged, this, &HotkeyService::reachChanged);
    connect(&service, &HotkeyService::combinationChangedByDesktop, this, &HotkeyService::combinationChangedByDesktop);
    connect(&service, &HotkeyService::registrationRefused, this, &HotkeyService::registrationRefused);
}

void SessionHotkeyService::switchTo(std::unique_ptr<HotkeyService> better)
{
    const bool wasOwned = desktopOwnsBinding();
    for (auto& [registration, entry] : m_entries) {
        if (entry.inner)
            m_current->unregisterHotkey(*entry.inner);
        entry.inner.reset();
    }
    // The old service goes with its signals, before the new one can fire.
    m_current = std::move(better);
    follow(*m_current);
    bool refused = false;
    for (auto& [registration, entry] : m_entries) {
        entry.inner = m_current->registerHotkey(entry.keyCode, entry.modifiers, entry.id);
        refused = refused || !entry.inner;
    }
    emit reachChanged();
    if (desktopOwnsBinding() != wasOwned)
        emit desktopOwnsBindingChanged(desktopOwnsBinding());
    if (refused)
        emit registrationRefused();
}

std::optional<HotkeyService::Registration>
SessionHotkeyService::registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers, std::uint32_t id)
{
    const auto inner = m_current->registerHotkey(keyCode, modifiers, id);
    if (!inner)
        return std::nullopt;
    const Registration registration = ++m_next;
    m_entries[registration] = {keyCode, modifiers, id, inner};
    return registration;
}

void SessionHotkeyService::unregisterHotkey(Registration registration)
{
    const auto it = m_entries.find(registration);
    if (it == m_entries.end())
        return;
    if (it->second.inner)
        m_current->unregisterHotkey(*it->second.inner);
    m_entries.erase(it);
}
