#include "NotesFileSystem.h"

#include <cerrno>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qint64 WriteChunk = 1 << 20;

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

int retrying(int result)
{
    return result < 0 ? errno : 0;
}
} // namespace

QString NotesFileSystem::reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString NotesFileSystem::resolved(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString target = info.symLinkTarget();
    return target.isEmpty() ? path : target;
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

bool NotesFileSystem::writeFile(const QString& path, const QByteArray& bytes, int mode, QString* error)
{
    // Step by step, each checked; any failure removes what was begun.
    int fd = -1;
    int failed = fault(Step::Create);
    if (!failed) {
        fd = ::open(local(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        failed = fd < 0 ? errno : 0;
    }
    if (failed) {
        // Not ours to remove when it was already there.
        *error = reason(failed);
        return false;
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
    if (!failed)
        failed = fault(Step::SyncFile);
    if (!failed)
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

bool NotesFileSystem::writeAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    const QString target = resolved(path);
    const QFileInfo info(target);
    struct stat st
    {
    };
    // Keep the permissions of the file being replaced.
    const int mode = ::stat(local(target).constData(), &st) == 0 ? int(st.st_mode & 07777) : 0644;
    const QString temporary = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".")
        + QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp");
    if (!writeFile(temporary, bytes, mode, error))
        return false;
    if (mode != 0644)
        ::chmod(local(temporary).constData(), mode_t(mode));
    int failed = fault(Step::Rename);
    if (!failed)
        failed = retrying(::rename(local(temporary).constData(), local(target).constData()));
    if (failed) {
        ::unlink(local(temporary).constData());
        *error = reason(failed);
        return false;
    }
    // Without this the rename itself may not survive a power cut.
    failed = fault(Step::SyncFolder);
    if (!failed) {
        const int folder = ::open(local(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        failed = folder < 0 ? errno : retrying(::fsync(folder));
        if (folder >= 0)
            ::close(folder);
    }
    if (failed) {
        *error = reason(failed);
        return false;
    }
    return true;
}

bool NotesFileSystem::writeNew(const QString& path, const QByteArray& bytes, QString* error)
{
    return writeFile(path, bytes, 0644, error);
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
