#pragma once

#include <functional>
#include <optional>

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

class QDBusMessage;

// One call to a desktop portal. The method returns at once with the path of
// a Request object; the answer comes later as that object's Response signal.
// The path is known before the call (it ends in our handle token), so we
// listen first and cannot miss a quick answer.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* Service = "org.freedesktop.portal.Desktop";
    static constexpr const char* Path = "/org/freedesktop/portal/desktop";

    enum Response : uint
    {
        Success = 0,
        Cancelled = 1,
        Failed = 2,
    };

    PortalRequest(const QDBusConnection& bus, QObject* parent = nullptr);

    // The "handle_token" to put in the call's options.
    QString token() const { return m_token; }
    // Sends the call without waiting. Exactly one of finished() and failed()
    // follows, unless this returns a reason at once.
    std::optional<QString> send(const QDBusMessage& call);

    // A unique token for other objects a portal names after us (sessions).
    static QString newToken();

    // Whether the portal offers `interface`, by reading its version. The
    // read also starts a portal that waits for D-Bus activation. probe()
    // never waits: `then` runs later on `context`'s thread with the answer;
    // probeNow() waits for it, off the way to the panel only.
    static void probe(const QDBusConnection& bus, const QString& interface, QObject* context,
                      std::function<void(bool offered)> then);
    static bool probeNow(const QDBusConnection& bus, const QString& interface);

signals:
    void finished(uint response, const QVariantMap& results);
    // The portal did not take the call (none there, or not this method).
    void failed(const QString& reason);

private slots:
    void onResponse(uint response, const QVariantMap& results);

private:
    bool listen(const QString& path);

    QDBusConnection m_bus;
    QString m_token;
    QString m_path;
    bool m_done = false;
};
