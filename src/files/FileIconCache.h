#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

// Icons and types of shelf entries. A type is found from the name alone (and
// whether the entry is a folder), and one icon is kept per type, so a long
// list costs one theme lookup per kind of file, not per file.
class FileIconCache
{
public:
    FileIconCache();
    ~FileIconCache();

    QMimeType mimeType(const QString& path) const;
    // The desktop theme's icon for the type, its generic family's icon, or a
    // drawn one when the desktop has no icon theme.
    QIcon icon(const QString& path);
    QIcon iconFor(const QMimeType& type);

private:
    QMimeDatabase m_mimeDatabase;
    QHash<QString, QIcon> m_icons;
};
