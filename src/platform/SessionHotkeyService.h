#pragma once

#include <map>
#include <memory>

#include "platform/HotkeyService.h"

// The shortcut for this session, taken without waiting on the bus: it starts
// on what is at hand at once (the X11 grab, or nothing) and moves every
// registration over when a desktop service answers that it offers more
// (Plasma's global-shortcut service, the global-shortcuts portal).
class SessionHotkeyService : public HotkeyService
{
    Q_OBJECT

public:
    explicit SessionHotkeyService(std::unique_ptr<HotkeyService> first, QObject* parent = nullptr);
    ~SessionHotkeyService() override;

    // From now on `better` holds every registration; the one before lets go
    // of its own first, so both never compete for the same keys.
    void switchTo(std::unique_ptr<HotkeyService> better);
    HotkeyService& current() const { return *m_current; }

    std::optional<Registration> registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers,
                                               std::uint32_t id) override;
    void unregisterHotkey(Registration registration) override;
    bool desktopOwnsBinding() const override { return m_current->desktopOwnsBinding(); }
    Reach reach() const override { return m_current->reach(); }

private:
    struct Entry
    {
        std::uint16_t keyCode;
        std::uint32_t modifiers;
        std::uint32_t id;
        std::optional<Registration> inner;
    };
    void follow(HotkeyService& service);

    std::unique_ptr<HotkeyService> m_current;
    std::map<Registration, Entry> m_entries;
    Registration m_next = 0;
};
