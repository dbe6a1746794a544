#pragma once

#include <QByteArray>
#include <QString>

struct stat;

// The file calls the notes are kept with, each one checked. A save writes a
// temporary file beside the notes, syncs it, and renames it over them, so a
// failure at any step leaves the old file as it was. A notes file with other
// hard links is written in place instead, so every name keeps showing the
// notes; a synced copy of the new text is put beside it first, and a write
// cut short by a crash is finished from that copy at the next start.
// fault() lets a test make any one step fail the way a full or broken disk
// would.
class NotesFileSystem
{
public:
    enum class Step
    {
        Create,
        Write,
        SyncFile,
        Close,
        Rename,
        SyncFolder,
        // Each piece of a write into the notes file itself.
        WriteInPlace
    };

    // What stat() says about a file; two equal stamps mean "not touched since".
    struct Stamp
    {
        bool exists = false;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        quint64 inode = 0;
        quint64 device = 0;
        quint64 links = 0;
        bool operator==(const Stamp& other) const
        {
            return exists == other.exists && size == other.size && modifiedNs == other.modifiedNs
                && inode == other.inode && device == other.device;
        }
        bool operator!=(const Stamp& other) const { return !(*this == other); }
    };

    // Private files: history and recovery copies.
    static constexpr int PrivateMode = 0600;
    // The user's usual mode, as the umask makes it.
    static constexpr int UsualMode = 0666;

    NotesFileSystem() = default;
    virtual ~NotesFileSystem() = default;
    NotesFileSystem(const NotesFileSystem&) = delete;
    NotesFileSystem& operator=(const NotesFileSystem&) = delete;

    Stamp stamp(const QString& path) const;
    // False with the system's reason when the file cannot be read whole.
    bool read(const QString& path, QByteArray* bytes, QString* error) const;
    // All or nothing: true only once the bytes are on disk under path, which
    // keeps its mode while that lets its owner read and write, and its owner
    // and group where this process may set them. A file with several hard
    // links is written in place unless splitLinks.
    bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error, bool splitLinks = false);
    // Writes a new file and never replaces one: false when path exists.
    // Unsynced when sync is false, for copies that only add safety.
    bool writeNew(const QString& path, const QByteArray& bytes, QString* error, int mode = UsualMode, bool sync = true);
    // A new file with the owner, group and mode like's would keep.
    bool writeCopy(const QString& path, const QByteArray& bytes, const QString& like, QString* error);
    // A second name for the file's bytes (a hard link), else false with errno
    // in *error; EEXIST when the new name is taken.
    bool link(const QString& from, const QString& to, int* error) const;
    bool rename(const QString& from, const QString& to, QString* error) const;
    // Run once before the notes are first read: removes temporary files a
    // crash left beside them, and finishes an in-place write it cut short.
    // False with the reason when such a write could not be finished.
    bool cleanUp(const QString& path, QString* error);

    // Where a write to path really goes: the end of its chain of symbolic
    // links, so every link stays a link.
    static QString resolved(const QString& path);
    static QString reason(int error);
    // Whether name is one of the temporary files saves of notesName make.
    static bool isTemporaryName(const QString& name, const QString& notesName);

protected:
    // 0, or the errno with which the step is to fail instead of running.
    virtual int fault(Step step)
    {
        Q_UNUSED(step);
        return 0;
    }

private:
    bool writeFile(const QString& path, const QByteArray& bytes, int mode, const struct stat* like, bool sync,
                   QString* error);
    bool writeInPlace(const QString& target, const QByteArray& bytes, QString* error);
    // touched: set once the file's bytes may have changed.
    bool overwrite(const QString& target, const QByteArray& bytes, QString* error, bool* touched = nullptr);
    // Writes the text a journal holds into target, then removes the journal.
    bool finishInPlace(const QString& journal, const QString& target, QString* error);
    bool syncFolder(const QString& folder, QString* error);
    static QString temporaryName(const QString& target, const QString& suffix);

    // The copy of a text whose write in place has not yet been finished.
    QString m_journal;
};
