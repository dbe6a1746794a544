#pragma once

#include <QByteArray>
#include <QString>

// The file calls the notes are kept with, each one checked. A save writes a
// temporary file beside the notes, syncs it, and renames it over them, so a
// failure at any step leaves the old file as it was. fault() lets a test make
// any one step fail the way a full or broken disk would.
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
        SyncFolder
    };

    // What stat() says about a file; two equal stamps mean "not touched since".
    struct Stamp
    {
        bool exists = false;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        quint64 inode = 0;
        quint64 device = 0;
        bool operator==(const Stamp& other) const
        {
            return exists == other.exists && size == other.size && modifiedNs == other.modifiedNs
                && inode == other.inode && device == other.device;
        }
        bool operator!=(const Stamp& other) const { return !(*this == other); }
    };

    NotesFileSystem() = default;
    virtual ~NotesFileSystem() = default;
    NotesFileSystem(const NotesFileSystem&) = delete;
    NotesFileSystem& operator=(const NotesFileSystem&) = delete;

    Stamp stamp(const QString& path) const;
    // False with the system's reason when the file cannot be read whole.
    bool read(const QString& path, QByteArray* bytes, QString* error) const;
    // All or nothing: true only once the bytes are on disk under path.
    bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error);
    // Writes a new file and never replaces one: false when path exists.
    bool writeNew(const QString& path, const QByteArray& bytes, QString* error);
    // A second name for the file's bytes (a hard link), else false with errno
    // in *error; EEXIST when the new name is taken.
    bool link(const QString& from, const QString& to, int* error) const;
    bool rename(const QString& from, const QString& to, QString* error) const;

    // Where a write to path really goes: the target of a symbolic link, so a
    // linked notes file stays a link.
    static QString resolved(const QString& path);
    static QString reason(int error);

protected:
    // 0, or the errno with which the step is to fail instead of running.
    virtual int fault(Step step)
    {
        Q_UNUSED(step);
        return 0;
    }

private:
    bool writeFile(const QString& path, const QByteArray& bytes, int mode, QString* error);
};
