#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QMetaObject>
#include <QObject>

#include "platform/HotkeyService.h"

class DesktopShortcutSetup;
class PreferencesStore;

// Owns the one global shortcut that shows and hides the panel: reads it from
// the preferences, registers it with the desktop and runs onToggle once per
// press, always on a later turn of the event loop.
class HotkeyManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(quint16 toggleKeyCode READ toggleKeyCode WRITE setToggleKeyCode NOTIFY toggleKeyCodeChanged)
    Q_PROPERTY(quint64 toggleModifiers READ toggleModifiers WRITE setToggleModifiers NOTIFY toggleModifiersChanged)

public:
    static constexpr std::uint16_t DefaultKeyCode = 7; // X
    static constexpr std::uint64_t DefaultModifiers = 0x120000; // Ctrl + Shift
    static constexpr std::uint32_t HotKeySignature = 0x4E544553;
    static constexpr std::uint32_t HotKeyId = 1;

    HotkeyManager(HotkeyService& service, PreferencesStore& defaults, QObject* parent = nullptr);
    ~HotkeyManager() override;

    std::uint16_t toggleKeyCode() const { return m_toggleKeyCode; }
    std::uint64_t toggleModifiers() const { return m_toggleModifiers; }
    // Setting these only changes the shown value; updateToggle() stores and registers.
    void setToggleKeyCode(std::uint16_t keyCode);
    void setToggleModifiers(std::uint64_t modifiers);

    void setOnToggle(std::function<void()> action) { m_onToggle = std::move(action); }
    bool hasOnToggle() const { return static_cast<bool>(m_onToggle); }

    // Grabs the new combination first and only then releases the old one, so
    // a combination the desktop refuses changes nothing: the old shortcut
    // stays registered, shown and stored. True when the new one was taken.
    bool updateToggle(std::uint16_t keyCode, std::uint64_t modifiers);

    bool isRegistered() const { return m_hotKeyRef.has_value(); }
    // The desktop's keyboard settings own the binding: see HotkeyService.
    bool desktopOwnsBinding() const { return m_service.desktopOwnsBinding(); }
    // The desktop refused the last combination asked for: the stored one at
    // start-up, or a newly recorded one. Cleared by the next one it accepts.
    bool hasConflict() const { return m_conflict; }
    // How far the shortcut reaches in this session (HotkeyService::Reach).
    HotkeyService::Reach reach() const { return m_service.reach(); }

    // Where the session cannot make the shortcut global, the desktop's own
    // keyboard settings may run `quillnook --toggle` instead; null where none
    // can. A combination recorded later is given to that shortcut too.
    // The combination the desktop's shortcut holds is taken over whenever it
    // is found or changed there: shown, stored, and grabbed for Quillnook's
    // own windows.
    void setDesktopSetup(DesktopShortcutSetup* setup);
    DesktopShortcutSetup* desktopSetup() const { return m_desktopSetup; }
    // Makes the desktop's shortcut with the current combination.
    void setUpInDesktop();

    // Ctrl, Alt or Super: one of them must be
    // held, or the shortcut would take a plain key from the whole desktop.
    static constexpr std::uint64_t RequiredModifiers = 0x1C0000;

    // While a new shortcut is being recorded, a press of the current one is
    // handed on (pressedWhileSuspended) instead of toggling the panel. The
    // grab itself stays: the shortcut is never let go before a new one is held.
    void setSuspended(bool suspended);
    bool isSuspended() const { return m_suspended; }

    // The part of stored flags that a registration carries.
    static std::uint32_t registrationModifiers(std::uint64_t flags);

signals:
    void toggleKeyCodeChanged(std::uint16_t keyCode);
    void toggleModifiersChanged(std::uint64_t modifiers);
    void desktopOwnsBindingChanged(bool owned);
    void conflictChanged(bool conflict);
    void reachChanged();
    // The current shortcut was pressed while suspended.
    void pressedWhileSuspended();

private:
    void installHandler();
    void handleHotkey(std::uint32_t id);
    void registerHotkey();
    void setConflict(bool conflict);
    void takeDesktopCombination(std::uint16_t keyCode, std::uint32_t modifiers);
    void adoptDesktopSetupCombination(std::uint16_t keyCode, std::uint32_t modifiers);
    void store();

    HotkeyService& m_service;
    PreferencesStore& m_defaults;
    std::uint16_t m_toggleKeyCode = DefaultKeyCode;
    std::uint64_t m_toggleModifiers = DefaultModifiers;
    std::function<void()> m_onToggle;
    std::optional<HotkeyService::Registration> m_hotKeyRef;
    QMetaObject::Connection m_eventHandlerRef;
    bool m_suspended = false;
    bool m_conflict = false;
    DesktopShortcutSetup* m_desktopSetup = nullptr;
    QMetaObject::Connection m_desktopSetupRef;
};
