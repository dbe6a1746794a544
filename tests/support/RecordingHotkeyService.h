#pragma once

#include <map>
#include <set>
#include <tuple>

#include "platform/HotkeyService.h"

// A hot-key service for model tests: it remembers what is registered, can be
// told that some combinations are taken, and lets the test press a key.
class RecordingHotkeyService : public HotkeyService
{
public:
    struct Combination
    {
        std::uint16_t keyCode;
        std::uint32_t modifiers;
        std::uint32_t id;
        bool operator<(const Combination& o) const
        {
            return std::tie(keyCode, modifiers, id) < std::tie(o.keyCode, o.modifiers, o.id);
        }
    };

    std::optional<Registration> registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers,
                                               std::uint32_t id) override
    {
        ++registerCalls;
        if (taken.count({keyCode, modifiers}))
            return std::nullopt;
        const Registration ref = ++m_next;
        live[ref] = {keyCode, modifiers, id};
        return ref;
    }

    void unregisterHotkey(Registration registration) override { live.erase(registration); }

    // What a key press on the desktop would do: reach every live registration.
    void press(std::uint16_t keyCode, std::uint32_t modifiers)
    {
        for (const auto& [ref, c] : std::map(live)) {
            if (c.keyCode == keyCode && c.modifiers == modifiers)
                emit hotkeyPressed(c.id);
        }
    }

    void pressRawId(std::uint32_t id) { emit hotkeyPressed(id); }

    bool desktopOwnsBinding() const override { return ownedByDesktop; }
    void setOwnedByDesktop(bool owned)
    {
        ownedByDesktop = owned;
        emit desktopOwnsBindingChanged(owned);
    }

    Reach reach() const override { return reachValue; }
    void setReach(Reach reach)
    {
        reachValue = reach;
        emit reachChanged();
    }

    std::map<Registration, Combination> live;
    std::set<std::pair<std::uint16_t, std::uint32_t>> taken;
    int registerCalls = 0;
    bool ownedByDesktop = false;
    Reach reachValue = Reach::Everywhere;

private:
    Registration m_next = 0;
};
