#pragma once

#include <memory>

#include <QDBusConnection>
#include <QString>

#include "platform/HotkeyService.h"

class QDBusObjectPath;

// The global shortcut on Wayland sessions, through the desktop's
// global-shortcuts portal. A portal session binds its shortcuts once, so the
// first registration of a run creates the session and binds one shortcut with
// the combination as its preferred trigger; the desktop may let the user pick
// another, and from then on its keyboard settings own the binding. Later
// registrations only switch the delivery of presses on and off.
class PortalHotkeyService : public HotkeyService
{
    Q_OBJECT

public:
    static constexpr const char* ShortcutId = "toggle-panel";
    static constexpr const char* Description = "Show or hide the Quillnook panel";

    // Nothing when the bus offers no global-shortcuts portal.
    static std::unique_ptr<PortalHotkeyService> create(const QDBusConnection& bus);
    explicit PortalHotkeyService(const QDBusConnection& bus, QObject* parent = nullptr);
    ~PortalHotkeyService() override;

    std::optional<Registration> registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers,
                                               std::uint32_t id) override;
    void unregisterHotkey(Registration registration) override;
    bool desktopOwnsBinding() const override { return m_bound; }

    // The portal's session object; empty until it exists.
    QString sessionHandle() const { return m_sessionHandle; }

private slots:
    void onActivated(const QDBusObjectPath& sessionHandle, const QString& shortcutId, qulonglong timestamp,
                     const QVariantMap& options);

private:
    void createSession();
    void bindShortcut();
    void setBound(bool bound);
    void report(const QString& what);

    QDBusConnection m_bus;
    QString m_sessionHandle;
    QString m_preferredTrigger;
    bool m_sessionRequested = false;
    // The session or the binding failed: nothing will fire this run.
    bool m_failed = false;
    bool m_bound = false;
    Registration m_nextRegistration = 0;
    std::optional<Registration> m_live;
    std::uint32_t m_liveId = 0;
};
