#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include <QDBusConnection>
#include <QList>
#include <QStringList>

#include "platform/HotkeyService.h"

class QDBusMessage;
class QDBusPendingCallWatcher;

// The global shortcut on KDE Plasma, through Plasma's own global-shortcut
// service on the session bus. It works on Plasma's Wayland session, where no
// X11 grab can, and the shortcut shows up in System Settings → Shortcuts as
// one action of the component "quillnook". A combination changed there is
// what Quillnook shows from then on.
class KGlobalAccelHotkeyService : public HotkeyService
{
    Q_OBJECT

public:
    static constexpr const char* Service = "org.kde.kglobalaccel";
    static constexpr const char* Path = "/kglobalaccel";
    static constexpr const char* Interface = "org.kde.KGlobalAccel";
    static constexpr const char* ComponentId = "quillnook";
    static constexpr const char* ActionId = "toggle-panel";
    static constexpr const char* ComponentName = "Quillnook";
    static constexpr const char* ActionName = "Show or hide the Quillnook panel";

    explicit KGlobalAccelHotkeyService(const QDBusConnection& bus, QObject* parent = nullptr);

    std::optional<Registration> registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers,
                                               std::uint32_t id) override;
    void unregisterHotkey(Registration registration) override;

    // The service's four names of the action: component and action ids,
    // then their readable names.
    static QStringList actionId();
    // A combination as the service's key code (Qt's key with its modifier
    // bits); 0 for a key it cannot name.
    static int keyFromCombination(std::uint16_t keyCode, std::uint32_t modifiers);
    // Back again; nothing for a key with no position on a US keyboard.
    static std::optional<std::pair<std::uint16_t, std::uint32_t>> combinationFromKey(int key);

private slots:
    void onPressed(const QString& component, const QString& action, qlonglong timestamp);
    void onShortcutChanged(const QDBusMessage& message);
    void onServiceOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    void announce();
    void setShortcut(int key, bool keepStored);
    void onSetShortcutReply(QDBusPendingCallWatcher* call, int asked);

    QDBusConnection m_bus;
    bool m_registered = false;
    Registration m_nextRegistration = 0;
    std::optional<Registration> m_live;
    std::uint32_t m_liveId = 0;
    // The combination last asked for, asked again of a restarted service.
    int m_key = 0;
};
