#include "FilesListModel.h"

#include <algorithm>

#include <QFileInfo>
#include <QLocale>
#include <QMimeData>

#include "files/FilesStore.h"

#include <sys/stat.h>

FilesListModel::FilesListModel(FilesStore& store, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store)
    , m_files(store.files())
{
    connect(&m_store, &FilesStore::filesChanged, this, &FilesListModel::storeChanged);
}

void FilesListModel::storeChanged()
{
    const QList<QUrl>& files = m_store.files();
    if (files == m_files) {
        // Same entries (a watch event after our own change): only sizes and
        // icons may have moved, and the rows keep their selection and scroll.
        if (!m_files.isEmpty())
            emit dataChanged(index(0), index(int(m_files.size()) - 1));
        return;
    }
    // One entry in or out, the usual change, moves only that row, so the
    // list keeps its scroll and the keyboard its place.
    const qsizetype before = m_files.size();
    const qsizetype after = files.size();
    if (after == before + 1 || after == before - 1) {
        const QList<QUrl>& longer = after > before ? files : m_files;
        const QList<QUrl>& shorter = after > before ? m_files : files;
        qsizetype at = 0;
        while (at < shorter.size() && shorter.at(at) == longer.at(at))
            ++at;
        if (std::equal(shorter.begin() + at, shorter.end(), longer.begin() + at + 1)) {
            if (after > before) {
                beginInsertRows({}, int(at), int(at));
                m_files = files;
                endInsertRows();
            } else {
                beginRemoveRows({}, int(at), int(at));
                m_files = files;
                endRemoveRows();
            }
            return;
        }
    }
    beginResetModel();
    m_files = files;
    endResetModel();
}

int FilesListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_files.size());
}

QUrl FilesListModel::url(int row) const
{
    return row >= 0 && row < m_files.size() ? m_files.at(row) : QUrl();
}

int FilesListModel::rowOf(const QUrl& url) const
{
    return int(m_files.indexOf(url));
}

QString FilesListModel::byteCountText(qint64 bytes)
{
    // The locale's formatter says "1 bytes".
    if (bytes == 1)
        return QStringLiteral("1 byte");
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString FilesListModel::sizeText(const QUrl& url)
{
    struct stat info
    {
    };
    const QByteArray path = FilesStore::pathBytes(url);
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0)
        return QString();
    return byteCountText(info.st_size);
}

QVariant FilesListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_files.size())
        return {};
    const QUrl& url = m_files.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return FilesStore::displayName(url);
    case Qt::DecorationRole:
        return m_icons.icon(url.toLocalFile());
    case SizeTextRole:
        return sizeText(url);
    case UrlRole:
        return url;
    default:
        return {};
    }
}

QHash<int, QByteArray> FilesListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(UrlRole, "url");
    names.insert(SizeTextRole, "sizeText");
    return names;
}

Qt::ItemFlags FilesListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (index.isValid())
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

QStringList FilesListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* FilesListModel::mimeData(const QModelIndexList& indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex& index : indexes) {
        const QUrl file = url(index.row());
        if (file.isValid() && !urls.contains(file))
            urls.append(file);
    }
    if (urls.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

Qt::DropActions FilesListModel::supportedDragActions() const
{
    // The shelf keeps its copy, whatever the receiver does with it.
    return Qt::CopyAction;
}
