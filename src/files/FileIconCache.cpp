#include "FileIconCache.h"

#include <QFileIconProvider>
#include <QFileInfo>

FileIconCache::FileIconCache()
    : m_fallback(new QFileIconProvider)
{ }

FileIconCache::~FileIconCache()
{
    delete m_fallback;
}

QMimeType FileIconCache::mimeType(const QString& path) const
{
    // The name is enough to pick an icon; reading every file's first bytes
    // would make scrolling wait on the disk.
    // (The file-info form still tells folders and other special entries apart.)
    return m_mimeDatabase.mimeTypeForFile(QFileInfo(path), QMimeDatabase::MatchExtension);
}

QIcon FileIconCache::icon(const QString& path)
{
    return iconFor(mimeType(path));
}

QIcon FileIconCache::iconFor(const QMimeType& type)
{
    const QString key = type.name();
    auto found = m_icons.constFind(key);
    if (found != m_icons.constEnd())
        return *found;
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull()) {
        const bool folder = type.inherits(QStringLiteral("inode/directory"));
        icon = m_fallback->icon(folder ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
    }
    m_icons.insert(key, icon);
    return icon;
}
