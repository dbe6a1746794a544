#include "FileCopy.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileCopy {

namespace {

// The C struct shares its name with the stat() call.
using StatInfo = struct stat;

constexpr size_t BufferSize = 1 << 20;
// What one step of a copy moves; a cancel is seen between steps.
constexpr off_t Chunk = off_t(8) << 20;

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

std::mutex hookLock;
std::function<void(const QByteArray&)> removeHook;

Result failure(const QByteArray& relative, const QString& text)
{
    return {false, relative.isEmpty() ? text : displayName(relative) + QStringLiteral(": ") + text};
}

Result failure(const QByteArray& relative, int error)
{
    if (error == ECANCELED)
        return {false, QStringLiteral("cancelled"), true};
    return failure(relative, errorText(error));
}

QByteArray joined(const QByteArray& relative, const char* name)
{
    return relative.isEmpty() ? QByteArray(name) : relative + '/' + name;
}

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool cancelled(const Progress* progress)
{
    return progress && progress->cancel.load(std::memory_order_relaxed);
}

void advance(Progress* progress, qint64 bytes)
{
    if (progress && bytes > 0)
        progress->done.fetch_add(bytes, std::memory_order_relaxed);
}

// The folder part and the last name of a path.
void split(const QByteArray& path, QByteArray& folder, QByteArray& name)
{
    const qsizetype slash = path.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    name = path.mid(slash + 1);
}

bool kernelCopyUnsupported(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF
        || error == EPERM;
}

// Reads and writes, for what the kernel paths cannot take (other file
// systems on old kernels, pseudo files whose size reads as 0).
int copyByBuffer(int in, int out, Progress* progress)
{
    static thread_local std::vector<char> buffer(BufferSize);
    for (;;) {
        if (cancelled(progress))
            return ECANCELED;
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
        advance(progress, got);
    }
}

// One run of data, [from, to), at the same offsets in both files:
// copy_file_range (in-kernel, a reflink where the file system offers one),
// else positioned reads and writes.
int copyRange(int in, int out, off_t from, off_t to, bool& rangeWorks, Progress* progress)
{
    static thread_local std::vector<char> buffer(BufferSize);
    off_t at = from;
    while (at < to) {
        if (cancelled(progress))
            return ECANCELED;
        const size_t want = size_t(std::min(Chunk, to - at));
        ssize_t moved = -1;
        if (rangeWorks) {
            loff_t inAt = at;
            loff_t outAt = at;
            moved = ::copy_file_range(in, &inAt, out, &outAt, want, 0);
            if (moved < 0 && kernelCopyUnsupported(errno)) {
                rangeWorks = false;
                continue;
            }
        } else {
            moved = ::pread(in, buffer.data(), std::min(want, buffer.size()), at);
            for (ssize_t put = 0; moved > 0 && put < moved;) {
                const ssize_t n = ::pwrite(out, buffer.data() + put, size_t(moved - put), at + put);
                if (n < 0 && errno != EINTR)
                    return errno;
                put += std::max<ssize_t>(n, 0);
            }
        }
        if (moved < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        // The file became shorter meanwhile.
        if (moved == 0)
            return 0;
        at += moved;
        advance(progress, moved);
    }
    return 0;
}

// Only the runs of data are copied; holes stay holes, the size is set last.
int copyContents(int in, int out, off_t size, Progress* progress)
{
    if (size <= 0)
        return copyByBuffer(in, out, progress);
    bool rangeWorks = true;
    bool seekWorks = true;
    off_t at = 0;
    while (at < size) {
        off_t data = at;
        off_t hole = size;
        if (seekWorks) {
            data = ::lseek(in, at, SEEK_DATA);
            if (data < 0 && errno == ENXIO) {
                // Nothing but a hole up to the end.
                advance(progress, size - at);
                break;
            }
            if (data < 0) {
                seekWorks = false;
                data = at;
            } else {
                hole = ::lseek(in, data, SEEK_HOLE);
                hole = hole < 0 ? size : std::min(hole, size);
            }
        }
        advance(progress, data - at);
        if (const int error = copyRange(in, out, data, hole, rangeWorks, progress))
            return error;
        at = hole;
    }
    return ::ftruncate(out, size) == 0 ? 0 : errno;
}

Result copyFileAt(int in, const StatInfo& info, int folder, const char* name, bool durable, const QByteArray& relative,
                  Progress* progress)
{
    Fd out(::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, info.st_mode & 0777));
    if (out.fd < 0)
        return failure(relative, errno);
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    int error = copyContents(in, out.fd, info.st_size, progress);
    if (!error && durable && ::fdatasync(out.fd) != 0)
        error = errno;
    if (!error) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        ::futimens(out.fd, times);
        error = out.closeChecked();
    }
    if (error) {
        ::unlinkat(folder, name, 0);
        return failure(relative, error);
    }
    return {};
}

Result copyFolderAt(int in, const StatInfo& info, int folder, const char* name, bool durable,
                    const QByteArray& relative, Progress* progress);

Result copyEntryAt(int fromFolder, const char* name, int toFolder, bool durable, const QByteArray& relative,
                   Progress* progress)
{
    if (cancelled(progress))
        return failure(relative, ECANCELED);
    StatInfo info {};
    if (::fstatat(fromFolder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return failure(relative, errno);
    if (S_ISLNK(info.st_mode)) {
        std::vector<char> link(size_t(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
        const ssize_t length = ::readlinkat(fromFolder, name, link.data(), link.size());
        if (length < 0)
            return failure(relative, errno);
        const QByteArray text(link.data(), length);
        if (::symlinkat(text.constData(), toFolder, name) != 0)
            return failure(relative, errno);
        return {};
    }
    if (S_ISFIFO(info.st_mode)) {
        if (::mkfifoat(toFolder, name, info.st_mode & 0777) != 0)
            return failure(relative, errno);
        return {};
    }
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode))
        return failure(relative, QStringLiteral("a socket or device cannot be copied"));
    Fd in(::openat(fromFolder, name,
                   O_RDONLY | O_CLOEXEC | O_NOFOLLOW | (S_ISDIR(info.st_mode) ? O_DIRECTORY : O_NONBLOCK)));
    if (in.fd < 0 || ::fstat(in.fd, &info) != 0)
        return failure(relative, errno);
    if (S_ISDIR(info.st_mode))
        return copyFolderAt(in.fd, info, toFolder, name, durable, relative, progress);
    if (!S_ISREG(info.st_mode))
        return failure(relative, QStringLiteral("it changed while being copied"));
    ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);
    return copyFileAt(in.fd, info, toFolder, name, durable, relative, progress);
}

Result copyFolderAt(int in, const StatInfo& info, int folder, const char* name, bool durable,
                    const QByteArray& relative, Progress* progress)
{
    // Private until it is complete; the source's mode comes last.
    if (::mkdirat(folder, name, 0700) != 0)
        return failure(relative, errno);
    Fd out(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (out.fd < 0)
        return failure(relative, errno);
    const int listing = ::dup(in);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!dir) {
        const int error = errno;
        if (listing >= 0)
            ::close(listing);
        return failure(relative, error);
    }
    Result result;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                result = failure(relative, errno);
            break;
        }
        if (isDotOrDotDot(entry->d_name))
            continue;
        result = copyEntryAt(in, entry->d_name, out.fd, durable, joined(relative, entry->d_name), progress);
        if (!result.ok)
            break;
    }
    ::closedir(dir);
    if (!result.ok)
        return result;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out.fd, times);
    if (::fchmod(out.fd, info.st_mode & 0777) != 0)
        return failure(relative, errno);
    return {};
}

const QString ChangedText = QStringLiteral("another program replaced it while it was being deleted");

// Removes `name` inside the open folder `folder`. Folders are entered by
// handle only after checking that the handle is the folder that was looked
// at; a link is only ever unlinked.
Result removeAt(int folder, const char* name, const QByteArray& path, const QByteArray& relative)
{
    StatInfo info {};
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Result() : failure(relative, errno);
    if (!S_ISDIR(info.st_mode)) {
        if (::unlinkat(folder, name, 0) == 0 || errno == ENOENT)
            return {};
        return failure(relative, errno);
    }
    Fd handle(::openat(folder, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    StatInfo opened {};
    if (handle.fd < 0 && errno == ENOENT)
        return {};
    if (handle.fd < 0 || ::fstat(handle.fd, &opened) != 0 || opened.st_dev != info.st_dev
        || opened.st_ino != info.st_ino)
        return failure(relative, ChangedText);
    // A folder made private by its owner can still be emptied by them. The
    // handle's own name in /proc reaches exactly this folder.
    if ((opened.st_mode & S_IRWXU) != S_IRWXU) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(handle.fd);
        ::chmod(self.constData(), (opened.st_mode & 07777) | S_IRWXU);
    }
    const int listing = ::openat(handle.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!dir) {
        const int error = errno;
        if (listing >= 0)
            ::close(listing);
        return failure(relative, error);
    }
    Result result;
    std::function<void(const QByteArray&)> hook;
    {
        std::lock_guard<std::mutex> lock(hookLock);
        hook = removeHook;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (isDotOrDotDot(entry->d_name))
            continue;
        if (hook)
            hook(path);
        const Result inner
            = removeAt(::dirfd(dir), entry->d_name, path + '/' + entry->d_name, joined(relative, entry->d_name));
        if (!inner.ok && result.ok)
            result = inner;
    }
    ::closedir(dir);
    if (!result.ok)
        return result;
    // The name must still lead to the folder just emptied.
    StatInfo now {};
    if (::fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Result() : failure(relative, errno);
    if (now.st_dev != opened.st_dev || now.st_ino != opened.st_ino)
        return failure(relative, ChangedText);
    if (::unlinkat(folder, name, AT_REMOVEDIR) == 0 || errno == ENOENT)
        return {};
    return failure(relative, errno);
}

qint64 measured = 0;
int measureEntry(const char*, const StatInfo* info, int type, FTW*)
{
    if (type == FTW_F && S_ISREG(info->st_mode))
        measured += info->st_size;
    return 0;
}

} // namespace

qint64 measure(const QByteArray& path)
{
    StatInfo info {};
    if (::stat(path.constData(), &info) != 0)
        return 0;
    if (!S_ISDIR(info.st_mode))
        return S_ISREG(info.st_mode) ? info.st_size : 0;
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    measured = 0;
    ::nftw(path.constData(), measureEntry, 16, FTW_PHYS);
    return measured;
}

QString errorText(int error)
{
    return qt_error_string(error);
}

QString displayName(const QByteArray& name)
{
    return QString::fromUtf8(name);
}

Result copy(const QByteArray& source, const QByteArray& destination, bool durable, Progress* progress)
{
    // Non-blocking, so a named pipe given as the source fails instead of
    // waiting for a writer.
    Fd in(::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    StatInfo info {};
    if (in.fd < 0) {
        // A folder without read permission still says what it is.
        if (::stat(source.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            return failure(QByteArray(), EACCES);
        return failure(QByteArray(), errno);
    }
    if (::fstat(in.fd, &info) != 0)
        return failure(QByteArray(), errno);
    QByteArray folderPath;
    QByteArray name;
    split(destination, folderPath, name);
    Fd folder(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0)
        return failure(QByteArray(), errno);
    Result result;
    if (S_ISDIR(info.st_mode)) {
        result = copyFolderAt(in.fd, info, folder.fd, name.constData(), durable, QByteArray(), progress);
    } else if (S_ISREG(info.st_mode)) {
        ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);
        result = copyFileAt(in.fd, info, folder.fd, name.constData(), durable, QByteArray(), progress);
    } else {
        result = failure(QByteArray(), QStringLiteral("only files and folders can be copied"));
    }
    if (!result.ok)
        removeAt(folder.fd, name.constData(), destination, QByteArray());
    return result;
}

Result remove(const QByteArray& path)
{
    QByteArray folderPath;
    QByteArray name;
    split(path, folderPath, name);
    if (name.isEmpty() || name == "." || name == "..")
        return failure(QByteArray(), EINVAL);
    Fd folder(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0)
        return errno == ENOENT ? Result() : failure(QByteArray(), errno);
    return removeAt(folder.fd, name.constData(), path, QByteArray());
}

void setRemoveHook(std::function<void(const QByteArray& folder)> hook)
{
    std::lock_guard<std::mutex> lock(hookLock);
    removeHook = std::move(hook);
}

} // namespace FileCopy
