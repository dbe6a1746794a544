#include "SingleInstance.h"

#include <chrono>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>

#include "platform/DBusCalls.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString LockName = QStringLiteral("/quillnook.lock");

// A folder only this user may enter and write to, not a link to one.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat st
    {
    };
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & 0777) == 0700;
}
} // namespace

SingleInstance::SingleInstance(const QString& lockFilePath, QObject* parent)
    : SingleInstance(QStringList {lockFilePath}, parent)
{ }

SingleInstance::SingleInstance(const QStringList& lockFilePaths, QObject* parent)
    : QObject(parent)
    , m_paths(lockFilePaths)
{ }

QStringList SingleInstance::lockFilePaths(const QString& fallbackFolder)
{
    QStringList paths;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        paths.append(runtime + LockName);
    const QString temporary = privateTemporaryFolder();
    if (!temporary.isEmpty())
        paths.append(temporary + LockName);
    paths.append(fallbackFolder + LockName);
    return paths;
}

QString SingleInstance::privateTemporaryFolder()
{
    const QString folder = QDir::tempPath() + QStringLiteral("/quillnook-") + QString::number(::geteuid());
    const QByteArray path = QFile::encodeName(folder);
    struct stat st
    {
    };
    // Made, or found as this user's own real folder: only its owner may use
    // it (the umask may also have taken bits the owner needs).
    if ((::mkdir(path.constData(), 0700) == 0
         || (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()))
        && ::chmod(path.constData(), 0700) != 0)
        return {};
    // One that another user made, or opened to others, is not used: whoever
    // else may write there could hold the lock or take it away.
    return isPrivateFolder(path) ? folder : QString();
}

bool SingleInstance::acquire()
{
    for (const QString& path : std::as_const(m_paths)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        auto lock = std::make_unique<QLockFile>(path);
        // A lock left by a program that died is taken over at once.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            m_lock = std::move(lock);
            return true;
        }
        if (lock->error() == QLockFile::LockFailedError)
            return false;
        // No lock can be made here; the next place is tried, in the same
        // order by every instance.
    }
    // Without a folder we may write to there can be no lock at all; running
    // is better than refusing to start.
    return true;
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
    return bus.call(call, QDBus::Block, DBusCalls::ReplyTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

SingleInstance::ToggleResult SingleInstance::toggleRunningPanel(QString* error)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return ToggleResult::NoSessionBus;
    const QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(ServiceName), QLatin1String(ObjectPath),
                                                             QLatin1String(ServiceName), QStringLiteral("TogglePanel"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, DBusCalls::ReplyTimeoutMs);
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
