#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QFileSystemWatcher;

// The file shelf: one folder of Quillnook's own, "QuillnookFiles" in the
// documents folder, and the sorted list of what it holds. Files are copied in
// and deleted from here; the folder's contents are the only state, re-read
// after every change and whenever another program changes the folder.
class FilesStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<QUrl> files READ files NOTIFY filesChanged)
    Q_PROPERTY(QUrl folderURL READ folderURL CONSTANT)

public:
    static constexpr const char* FolderName = "QuillnookFiles";
    // Outside changes usually come in bursts (a copy, an unpacked archive);
    // one listing after the burst is enough.
    static constexpr int WatchDelayMs = 150;

    // In the user's documents folder (the temporary folder when the desktop
    // names none).
    explicit FilesStore(QObject* parent = nullptr);
    // In the given folder; the temporary folder when empty.
    explicit FilesStore(const QString& documentsFolder, QObject* parent = nullptr);
    ~FilesStore() override;

    const QList<QUrl>& files() const { return m_files; }
    QUrl folderURL() const { return QUrl::fromLocalFile(m_folderPath); }
    QString folderPath() const { return m_folderPath; }

    // Re-reads the folder's direct entries, hidden ones too, sorted by name.
    // Always announces the new list.
    void refresh();

    // Copies a file or a folder with its contents onto the shelf under its own
    // name, replacing a shelf item of that name only once the copy is complete.
    // A failure prints one "⚠️ Could not import" line and leaves the shelf as
    // it was.
    void importFile(QUrl from);

    // Removes a shelf entry for good. Anything that is not directly inside the
    // shelf folder is refused and left alone.
    void deleteFile(QUrl url);

    // The order the shelf lists names in: lower-cased, composed, compared by
    // code point; equal keys keep their order.
    static void sortByName(QStringList& names);

signals:
    void filesChanged();

private:
    void init(const QString& documentsFolder);
    void reportImportFailure(const QString& name, const QString& reason);
    bool isShelfEntry(const QString& path) const;
    void watchFolder();

    QList<QUrl> m_files;
    // What the last listing worked out per name, so a re-read of a large,
    // mostly unchanged shelf does not build every URL and key again.
    struct Known
    {
        QString key;
        QUrl url;
    };
    QHash<QString, Known> m_known;
    QString m_folderPath;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer m_watchTimer;
};
