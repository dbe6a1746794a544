#include "FileIconCache.h"

#include <QFileInfo>

#include "files/FileTypeIcon.h"

FileIconCache::FileIconCache() = default;
FileIconCache::~FileIconCache() = default;

QMimeType FileIconCache::mimeType(const QString& path) const
{
    // The name is enough to pick an icon; reading every file's first bytes
    // would make scrolling wait on the disk. The file-info form still tells
    // folders and other special entries apart.
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
    if (icon.isNull())
        icon = FileTypeIcon::make(type);
    m_icons.insert(key, icon);
    return icon;
}
