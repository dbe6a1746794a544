#include "FileCopy.h"

#include <cerrno>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileCopy {

namespace {

// The C struct shares its name with the stat() call.
using StatInfo = struct stat;

// Big enough that a read-and-write copy is not held back by system calls.
constexpr size_t BufferSize = 1 << 20;
// What one kernel-side copy call is asked to move at once.
constexpr size_t KernelChunk = size_t(1) << 30;

struct Fd
{
    int fd = -1;
    explicit Fd(int value)
        : fd(value)
    { }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    // Closes now and says whether the last buffered writes made it.
    int closeChecked()
    {
        const int result = ::close(fd);
        fd = -1;
        return result == 0 || errno == EINTR ? 0 : errno;
    }
};

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};

Result failure(const QString& relative, int error)
{
    const QString text = errorText(error);
    return {false, relative.isEmpty() ? text : relative + QStringLiteral(": ") + text};
}

Result failure(const QString& relative, const QString& text)
{
    return {false, relative.isEmpty() ? text : relative + QStringLiteral(": ") + text};
}

QString joined(const QString& relative, const QByteArray& name)
{
    const QString child = QFile::decodeName(name);
    return relative.isEmpty() ? child : relative + QLatin1Char('/') + child;
}

// Plain reads and writes, for what the kernel paths cannot take (other file
// systems on old kernels, pseudo files whose size reads as 0).
int copyByBuffer(int in, int out)
{
    static thread_local std::vector<char> buffer(BufferSize);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = ::write(out, buffer.data() + done, size_t(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += put;
        }
    }
}

bool kernelCopyUnsupported(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF
        || error == EPERM;
}

// copy_file_range first (in-kernel, reflinks where the file system can),
// then sendfile, then a buffer; each step picks up where the last stopped.
int copyBytes(int in, int out, off_t size)
{
    if (size > 0) {
        bool rangeWorks = true;
        bool sendfileWorks = true;
        for (;;) {
            ssize_t moved = -1;
            if (rangeWorks) {
                moved = ::copy_file_range(in, nullptr, out, nullptr, KernelChunk, 0);
                if (moved < 0 && kernelCopyUnsupported(errno)) {
                    rangeWorks = false;
                    continue;
                }
            } else if (sendfileWorks) {
                moved = ::sendfile(out, in, nullptr, KernelChunk);
                if (moved < 0 && kernelCopyUnsupported(errno)) {
                    sendfileWorks = false;
                    break;
                }
            } else {
                break;
            }
            if (moved < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            // The end as the kernel sees it; the buffer loop below confirms it.
            if (moved == 0)
                break;
        }
    }
    return copyByBuffer(in, out);
}

Result copyFile(int in, const StatInfo& info, const QString& destination, bool durable, const QString& relative)
{
    const QByteArray target = QFile::encodeName(destination);
    Fd out(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777));
    if (out.fd < 0)
        return failure(relative, errno);
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    int error = copyBytes(in, out.fd, info.st_size);
    if (!error && durable && ::fdatasync(out.fd) != 0)
        error = errno;
    if (!error) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        ::futimens(out.fd, times);
        error = out.closeChecked();
    }
    if (error) {
        ::unlink(target.constData());
        return failure(relative, error);
    }
    return {};
}

Result copyFolder(const QString& source, const StatInfo& info, const QString& destination, bool durable,
                  const QString& relative);

Result copyEntry(const QString& source, const QString& destination, bool durable, const QString& relative)
{
    const QByteArray path = QFile::encodeName(source);
    StatInfo info {};
    if (::lstat(path.constData(), &info) != 0)
        return failure(relative, errno);
    if (S_ISDIR(info.st_mode))
        return copyFolder(source, info, destination, durable, relative);
    if (S_ISLNK(info.st_mode)) {
        std::vector<char> link(size_t(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
        const ssize_t length = ::readlink(path.constData(), link.data(), link.size());
        if (length < 0)
            return failure(relative, errno);
        const QByteArray text(link.data(), length);
        if (::symlink(text.constData(), QFile::encodeName(destination).constData()) != 0)
            return failure(relative, errno);
        return {};
    }
    if (S_ISFIFO(info.st_mode)) {
        if (::mkfifo(QFile::encodeName(destination).constData(), info.st_mode & 0777) != 0)
            return failure(relative, errno);
        return {};
    }
    if (!S_ISREG(info.st_mode))
        return failure(relative, QStringLiteral("a socket or device cannot be copied"));
    Fd in(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (in.fd < 0)
        return failure(relative, errno);
    return copyFile(in.fd, info, destination, durable, relative);
}

Result copyFolder(const QString& source, const StatInfo& info, const QString& destination, bool durable,
                  const QString& relative)
{
    const QByteArray target = QFile::encodeName(destination);
    // Private until it is complete; the source's mode comes last.
    if (::mkdir(target.constData(), 0700) != 0)
        return failure(relative, errno);
    std::unique_ptr<DIR, DirCloser> dir(::opendir(QFile::encodeName(source).constData()));
    if (!dir)
        return failure(relative, errno);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                return failure(relative, errno);
            break;
        }
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QString child = QFile::decodeName(name);
        const Result result = copyEntry(source + QLatin1Char('/') + child, destination + QLatin1Char('/') + child,
                                        durable, joined(relative, name));
        if (!result.ok)
            return result;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::utimensat(AT_FDCWD, target.constData(), times, 0);
    if (::chmod(target.constData(), info.st_mode & 0777) != 0)
        return failure(relative, errno);
    return {};
}

} // namespace

QString errorText(int error)
{
    return qt_error_string(error);
}

Result copy(const QString& source, const QString& destination, bool durable)
{
    const QByteArray path = QFile::encodeName(source);
    // Non-blocking, so a named pipe given as the source fails instead of
    // waiting for a writer.
    Fd in(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    StatInfo info {};
    if (in.fd < 0) {
        // A folder without read permission still says what it is.
        if (::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            return failure(QString(), EACCES);
        return failure(QString(), errno);
    }
    if (::fstat(in.fd, &info) != 0)
        return failure(QString(), errno);
    Result result;
    if (S_ISDIR(info.st_mode)) {
        in.closeChecked();
        result = copyFolder(source, info, destination, durable, QString());
    } else if (S_ISREG(info.st_mode)) {
        ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);
        result = copyFile(in.fd, info, destination, durable, QString());
    } else {
        result = failure(QString(), QStringLiteral("only files and folders can be copied"));
    }
    if (!result.ok)
        removeAll(destination);
    return result;
}

bool removeAll(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    StatInfo info {};
    if (::lstat(bytes.constData(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return ::unlink(bytes.constData()) == 0 || errno == ENOENT;
    // A folder made private by its owner can still be emptied by them.
    ::chmod(bytes.constData(), (info.st_mode & 0777) | S_IRWXU);
    {
        std::unique_ptr<DIR, DirCloser> dir(::opendir(bytes.constData()));
        if (dir) {
            while (const dirent* entry = ::readdir(dir.get())) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..")
                    removeAll(path + QLatin1Char('/') + QFile::decodeName(name));
            }
        }
    }
    return ::rmdir(bytes.constData()) == 0 || errno == ENOENT;
}

} // namespace FileCopy
