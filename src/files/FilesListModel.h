#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QUrl>

#include "files/FileIconCache.h"

class FilesStore;

// The shelf's entries as list rows, in the store's order. Icons and sizes are
// looked up only when a row is drawn, so a shelf of thousands lists at once.
class FilesListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        UrlRole = Qt::UserRole + 1,
        // The entry's size as people read it, or empty when it cannot be had.
        SizeTextRole,
    };

    explicit FilesListModel(FilesStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    // Rows drag out as the shelf copies' file URLs (text/uri-list).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    QUrl url(int row) const;
    int rowOf(const QUrl& url) const;
    FileIconCache& icons() { return m_icons; }

    // Decimal units, the way file sizes are shown on the desktop; empty when
    // the entry cannot be read.
    static QString sizeText(const QUrl& url);
    static QString byteCountText(qint64 bytes);

private:
    void storeChanged();

    FilesStore& m_store;
    QList<QUrl> m_files;
    mutable FileIconCache m_icons;
};
