#include "NotesFileSystem.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qint64 WriteChunk = 1 << 20;
// As the kernel allows: a longer chain is a loop.
constexpr int MostLinksFollowed = 40;
const QString TemporarySuffix = QStringLiteral(".tmp");
// A complete, synced copy of a text being written in place.
const QString InPlaceSuffix = QStringLiteral(".inplace");

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

int retrying(int result)
{
    return result < 0 ? errno : 0;
}

// The mode a replacement keeps: the old file's, while it lets its owner read
// and write; else -1, the user's usual mode.
int keptMode(const struct stat& st)
{
    return (st.st_mode & 0600) == 0600 ? int(st.st_mode & 0777) : -1;
}
} // namespace

QString NotesFileSystem::reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString NotesFileSystem::resolved(const QString& path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int followed = 0; followed < MostLinksFollowed; ++followed) {
        char target[4096];
        const ssize_t length = ::readlink(local(current).constData(), target, sizeof target - 1);
        if (length < 0)
            return current;
        const QString next = QFile::decodeName(QByteArray(target, length));
        current = QDir::cleanPath(
            QDir::isAbsolutePath(next) ? next : QFileInfo(current).absolutePath() + QLatin1Char('/') + next);
    }
    // A loop, which a write refuses.
    return current;
}

bool NotesFileSystem::isTemporaryName(const QString& name, const QString& notesName)
{
    static const QRegularExpression tail(QStringLiteral("^\\.[0-9a-z]{1,13}\\.(tmp|inplace)$"));
    const QString head = QLatin1Char('.') + notesName;
    return name.startsWith(head) && tail.match(QStringView(name).sliced(head.size())).hasMatch();
}

QString NotesFileSystem::temporaryName(const QString& target, const QString& suffix)
{
    const QFileInfo info(target);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.')
        + QString::number(QRandomGenerator::global()->generate(), 36) + suffix;
}

NotesFileSystem::Stamp NotesFileSystem::stamp(const QString& path) const
{
    Stamp stamp;
    struct stat st
    {
    };
    if (::stat(local(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.size = st.st_size;
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.inode = st.st_ino;
    stamp.device = st.st_dev;
    stamp.links = st.st_nlink;
    return stamp;
}

bool NotesFileSystem::read(const QString& path, QByteArray* bytes, QString* error) const
{
    const int fd = ::open(local(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = reason(errno);
        return false;
    }
    struct stat st
    {
    };
    QByteArray data;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        *error = reason(EISDIR);
        return false;
    }
    data.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = reason(errno);
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        data.append(buffer, qsizetype(got));
    }
    ::close(fd);
    *bytes = std::move(data);
    return true;
}

bool NotesFileSystem::writeFile(const QString& path, const QByteArray& bytes, int mode, const struct stat* like,
                                bool sync, QString* error)
{
    // Step by step, each checked; any failure removes what was begun.
    int fd = -1;
    int failed = fault(Step::Create);
    if (!failed) {
        fd = ::open(local(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode_t(mode));
        failed = fd < 0 ? errno : 0;
    }
    if (failed) {
        // Not ours to remove when it was already there.
        *error = reason(failed);
        return false;
    }
    if (like) {
        // Owner and group where this process may give them (root, or a
        // group the user belongs to); otherwise the file is the user's.
        if ((like->st_uid != ::geteuid() || like->st_gid != ::getegid())
            && ::fchown(fd, like->st_uid, like->st_gid) != 0)
            (void)::fchown(fd, uid_t(-1), like->st_gid);
        // After the owner: a change of owner clears some mode bits.
        const int kept = keptMode(*like);
        if (kept >= 0)
            failed = retrying(::fchmod(fd, mode_t(kept)));
    }
    for (qint64 done = 0; !failed && done < bytes.size();) {
        failed = fault(Step::Write);
        if (failed)
            break;
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(qMin(WriteChunk, bytes.size() - done)));
        if (put < 0 && errno == EINTR)
            continue;
        // A short write is only ever followed by the error that caused it.
        if (put < 0)
            failed = errno;
        else
            done += put;
    }
    if (!failed && sync)
        failed = fault(Step::SyncFile);
    if (!failed && sync)
        failed = retrying(::fsync(fd));
    int closeFailed = fault(Step::Close);
    // Closed in any case; a late error from close counts as a failed write.
    const int closed = retrying(::close(fd));
    if (!closeFailed)
        closeFailed = closed;
    if (!failed)
        failed = closeFailed;
    if (failed) {
        ::unlink(local(path).constData());
        *error = reason(failed);
        return false;
    }
    return true;
}

bool NotesFileSystem::syncFolder(const QString& folder, QString* error)
{
    int failed = fault(Step::SyncFolder);
    if (!failed) {
        const int fd = ::open(local(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        failed = fd < 0 ? errno : retrying(::fsync(fd));
        if (fd >= 0)
            ::close(fd);
    }
    if (failed)
        *error = reason(failed);
    return !failed;
}

bool NotesFileSystem::writeAtomically(const QString& path, const QByteArray& bytes, QString* error, bool splitLinks)
{
    const QString target = resolved(path);
    struct stat st
    {
    };
    const bool exists = ::stat(local(target).constData(), &st) == 0 && S_ISREG(st.st_mode);
    if (QFileInfo(target).isSymLink()) {
        // A loop of links: none is replaced by a plain file.
        *error = reason(ELOOP);
        return false;
    }
    if (exists && st.st_nlink > 1 && !splitLinks)
        return writeInPlace(target, bytes, error);
    const QString temporary = temporaryName(target, TemporarySuffix);
    if (!writeFile(temporary, bytes, UsualMode, exists ? &st : nullptr, true, error))
        return false;
    int failed = fault(Step::Rename);
    if (!failed)
        failed = retrying(::rename(local(temporary).constData(), local(target).constData()));
    if (failed) {
        ::unlink(local(temporary).constData());
        *error = reason(failed);
        return false;
    }
    // Without this the rename itself may not survive a power cut.
    return syncFolder(QFileInfo(target).absolutePath(), error);
}

bool NotesFileSystem::writeInPlace(const QString& target, const QByteArray& bytes, QString* error)
{
    // The new text is on disk in full, under a name of its own, before the
    // first byte of the notes file changes: a crash half-way is finished
    // from it at the next start. Renamed once synced, so a journal that
    // exists is always whole.
    const QString temporary = temporaryName(target, TemporarySuffix);
    if (!writeFile(temporary, bytes, PrivateMode, nullptr, true, error))
        return false;
    QString journal = temporary;
    journal.replace(journal.size() - TemporarySuffix.size(), TemporarySuffix.size(), InPlaceSuffix);
    int failed = fault(Step::Rename);
    if (!failed)
        failed = retrying(::rename(local(temporary).constData(), local(journal).constData()));
    if (failed) {
        ::unlink(local(temporary).constData());
        *error = reason(failed);
        return false;
    }
    // An older one from a failed try holds an older text.
    if (!m_journal.isEmpty())
        ::unlink(local(m_journal).constData());
    m_journal = journal;
    bool touched = false;
    if (!syncFolder(QFileInfo(target).absolutePath(), error) || !overwrite(target, bytes, error, &touched)) {
        // Kept once the file may be half-written: the next save or start
        // writes it whole. Before that the file is as it was.
        if (!touched) {
            ::unlink(local(journal).constData());
            m_journal.clear();
        }
        return false;
    }
    // One that cannot be removed now is at the next start.
    ::unlink(local(journal).constData());
    m_journal.clear();
    return true;
}

bool NotesFileSystem::overwrite(const QString& target, const QByteArray& bytes, QString* error, bool* touched)
{
    const int fd = ::open(local(target).constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *error = reason(errno);
        return false;
    }
    // Room for the whole text first, so a full disk stops the write before
    // it begins rather than half-way.
    int failed = bytes.isEmpty() ? 0 : retrying(::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())));
    if (failed == EOPNOTSUPP || failed == ENOSYS)
        failed = 0;
    for (qint64 done = 0; !failed && done < bytes.size();) {
        failed = fault(Step::WriteInPlace);
        if (failed)
            break;
        if (touched)
            *touched = true;
        const ssize_t put
            = ::pwrite(fd, bytes.constData() + done, size_t(qMin(WriteChunk, bytes.size() - done)), off_t(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            failed = errno;
        else
            done += put;
    }
    if (!failed && touched)
        *touched = true;
    if (!failed)
        failed = retrying(::ftruncate(fd, off_t(bytes.size())));
    if (!failed)
        failed = fault(Step::SyncFile);
    if (!failed)
        failed = retrying(::fsync(fd));
    const int closed = retrying(::close(fd));
    if (!failed)
        failed = closed;
    if (failed)
        *error = reason(failed);
    return !failed;
}

bool NotesFileSystem::finishInPlace(const QString& journal, const QString& target, QString* error)
{
    if (!QFileInfo::exists(target)) {
        // The notes file went since: the newest text takes its place.
        return rename(journal, target, error);
    }
    QByteArray text;
    QByteArray now;
    QString readError;
    if (!read(journal, &text, error))
        return false;
    // Equal: the write was done, and only the journal was left.
    if ((!read(target, &now, &readError) || now != text) && !overwrite(target, text, error))
        return false;
    ::unlink(local(journal).constData());
    return true;
}

bool NotesFileSystem::cleanUp(const QString& path, QString* error)
{
    const QString target = resolved(path);
    QStringList folders {QFileInfo(target).absolutePath()};
    const QString notesFolder = QFileInfo(path).absolutePath();
    if (!folders.contains(notesFolder))
        folders.append(notesFolder);
    bool ok = true;
    for (const QString& folder : std::as_const(folders)) {
        const QString notesName
            = folder == folders.constFirst() ? QFileInfo(target).fileName() : QFileInfo(path).fileName();
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : names) {
            if (!isTemporaryName(name, notesName))
                continue;
            const QString leftover = folder + QLatin1Char('/') + name;
            struct stat st
            {
            };
            // Only a plain file of this user's is taken for one of ours.
            if (::lstat(local(leftover).constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
                continue;
            if (name.endsWith(InPlaceSuffix) && folder == folders.constFirst()) {
                if (!finishInPlace(leftover, target, error))
                    ok = false;
                continue;
            }
            ::unlink(local(leftover).constData());
        }
    }
    return ok;
}

bool NotesFileSystem::writeNew(const QString& path, const QByteArray& bytes, QString* error, int mode, bool sync)
{
    return writeFile(path, bytes, mode, nullptr, sync, error);
}

bool NotesFileSystem::writeCopy(const QString& path, const QByteArray& bytes, const QString& like, QString* error)
{
    struct stat st
    {
    };
    const bool found = ::stat(local(like).constData(), &st) == 0;
    return writeFile(path, bytes, UsualMode, found ? &st : nullptr, true, error);
}

bool NotesFileSystem::link(const QString& from, const QString& to, int* error) const
{
    if (::link(local(resolved(from)).constData(), local(to).constData()) == 0)
        return true;
    *error = errno;
    return false;
}

bool NotesFileSystem::rename(const QString& from, const QString& to, QString* error) const
{
    if (::rename(local(from).constData(), local(to).constData()) == 0)
        return true;
    *error = reason(errno);
    return false;
}
