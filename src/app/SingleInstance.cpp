#include "SingleInstance.h"

#include <chrono>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

SingleInstance::SingleInstance(const QString& lockFilePath, QObject* parent)
    : QObject(parent)
    , m_lock(lockFilePath)
{
    // A lock left by a program that died is taken over at once.
    m_lock.setStaleLockTime(0);
}

QString SingleInstance::lockFilePath(const QString& fallbackFolder)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : fallbackFolder;
    return folder + QStringLiteral("/quillnook.lock");
}

bool SingleInstance::acquire()
{
    QDir().mkpath(QFileInfo(m_lock.fileName()).absolutePath());
    if (m_lock.tryLock(0))
        return true;
    // Without a folder we may write to there can be no lock at all; running
    // is better than refusing to start.
    return m_lock.error() == QLockFile::PermissionError || m_lock.error() == QLockFile::UnknownError;
}

void SingleInstance::listen()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.registerObject(QLatin1String(ObjectPath), this, QDBusConnection::ExportScriptableSlots);
    bus.registerService(QLatin1String(ServiceName));
}

bool SingleInstance::showRunningPanel()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(ServiceName), QLatin1String(ObjectPath),
                                                       QLatin1String(ServiceName), QStringLiteral("ShowPanelSentAt"));
    call << qlonglong(monotonicNowMs());
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

SingleInstance::ToggleResult SingleInstance::toggleRunningPanel(QString* error)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return ToggleResult::NoSessionBus;
    const QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(ServiceName), QLatin1String(ObjectPath),
                                                             QLatin1String(ServiceName), QStringLiteral("TogglePanel"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return ToggleResult::Toggled;
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        return ToggleResult::NotRunning;
    if (error)
        *error = reply.errorMessage();
    return ToggleResult::Failed;
}

bool SingleInstance::callerIsThisUser()
{
    // A session bus is normally the user's own, but one opened to others
    // (a TCP address, a relaxed policy) must not let them drive the panel.
    if (!calledFromDBus())
        return true;
    const QDBusReply<uint> uid = connection().interface()->serviceUid(message().service());
    if (uid.isValid() && uid.value() == ::getuid())
        return true;
    sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Only the user who runs Quillnook may ask it."));
    return false;
}

void SingleInstance::ShowPanel()
{
    if (callerIsThisUser())
        emit showPanelRequested();
}

void SingleInstance::TogglePanel()
{
    if (callerIsThisUser())
        emit togglePanelRequested();
}

void SingleInstance::ShowPanelSentAt(qlonglong sentAtMs)
{
    if (!callerIsThisUser() || monotonicNowMs() - sentAtMs > StaleRequestMs)
        return;
    emit showPanelRequested();
}

qint64 SingleInstance::monotonicNowMs()
{
    // CLOCK_MONOTONIC on Linux: one clock for every process since boot.
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
