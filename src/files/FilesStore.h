#pragma once

#include <deque>
#include <memory>
#include <thread>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QFileSystemWatcher;
namespace FileCopy {
struct Progress;
struct Result;
} // namespace FileCopy

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
    // Copies run one at a time on a worker thread, in the order asked; each
    // refreshes the list when it ends. A failure prints one "⚠️ Could not
    // import" line and leaves the shelf as it was.
    void importFile(QUrl from);
    bool isImporting() const { return m_worker.joinable() || !m_queue.empty(); }
    // Stops the running copy and drops the waiting ones; the shelf keeps
    // what it had before them.
    void cancelImports();

    // Removes a shelf entry for good, without ever following a link.
    // Anything that is not directly inside the shelf folder is refused and
    // left alone. A failure prints one "⚠️ Could not delete" line.
    void deleteFile(QUrl url);

    // File names are bytes; these carry them through URLs unchanged, also
    // when they are not UTF-8.
    static QByteArray pathBytes(const QUrl& url);
    static QUrl urlFromPath(const QByteArray& path);
    // The entry's name as listed: bytes that are not UTF-8 become U+FFFD.
    static QString displayName(const QUrl& url);
    // The name as messages spell it: bytes that are not UTF-8 as \xFF,
    // control characters as \n, \t or \x01.
    static QString readableName(const QByteArray& name);

    // The order the shelf lists names in: lower-cased, composed, compared by
    // code point; equal keys keep their order.
    static void sortByName(QStringList& names);

signals:
    void filesChanged();
    // An import failed; `message` is the printed line without its mark.
    // `url` is the item it was about: the source, or the shelf entry.
    void importFailed(const QString& message, const QUrl& url);
    void deleteFailed(const QString& message, const QUrl& url);
    // About every tenth of a second while a copy runs: its name and how far
    // it is (`total` 0 while still being measured).
    void importProgress(const QString& name, qint64 done, qint64 total);
    // The last waiting copy has ended.
    void importsFinished();

private:
    void init(const QString& documentsFolder);
    void reportImportFailure(const QUrl& url, const QString& name, const QString& reason);
    bool isShelfEntry(const QByteArray& path) const;
    void watchFolder();
    void startNextImport();
    void finishImport(const QUrl& from, const QString& name, const FileCopy::Result& result);

    QList<QUrl> m_files;
    // What the last listing worked out per name, so a re-read of a large,
    // mostly unchanged shelf does not build every URL and key again.
    struct Known
    {
        QString key;
        QUrl url;
    };
    QHash<QByteArray, Known> m_known;
    QString m_folderPath;
    QByteArray m_folderBytes;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer m_watchTimer;
    // The folder the watch is on, so one made anew in its place is noticed.
    quint64 m_watchedDevice = 0;
    quint64 m_watchedInode = 0;

    std::deque<QUrl> m_queue;
    std::thread m_worker;
    std::shared_ptr<FileCopy::Progress> m_progress;
    QString m_importingName;
    QTimer m_progressTimer;
};
