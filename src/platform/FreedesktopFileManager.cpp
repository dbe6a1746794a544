#include "FreedesktopFileManager.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/DBusCalls.h"

FreedesktopFileManager::FreedesktopFileManager(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{ }

void FreedesktopFileManager::showItem(const QString& filePath)
{
    const QUrl folderUrl = QUrl::fromLocalFile(QFileInfo(filePath).absolutePath());
    if (!m_bus.isConnected()) {
        QDesktopServices::openUrl(folderUrl);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList {QUrl::fromLocalFile(filePath).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, DBusCalls::ReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [folderUrl](QDBusPendingCallWatcher* finished) {
        if (finished->isError())
            QDesktopServices::openUrl(folderUrl);
        finished->deleteLater();
    });
}
