#include "FilesStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRandomGenerator>

#include "base/Notices.h"
#include "files/FileCopy.h"
#include "platform/DocumentsLocation.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

namespace {

// The C struct shares its name with the stat() call.
using StatInfo = struct stat;

// UTF-16 units order characters beyond U+FFFF (surrogates, D800–DFFF) before
// U+E000–U+FFFF; shifting the two ranges past each other restores code point
// order without decoding.
inline char16_t codePointRank(char16_t unit)
{
    return unit >= 0xE000 ? char16_t(unit - 0x800) : char16_t(unit + 0x2000);
}

bool lessByCodePoint(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* pa = a.constData();
    const QChar* pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t ca = pa[i].unicode();
        char16_t cb = pb[i].unicode();
        if (ca == cb)
            continue;
        if (ca >= 0xD800 && cb >= 0xD800) {
            ca = codePointRank(ca);
            cb = codePointRank(cb);
        }
        return ca < cb;
    }
    return a.size() < b.size();
}

QString sortKey(const QString& name)
{
    // QString's case mapping is Unicode's default one, whatever the locale.
    return name.toLower().normalized(QString::NormalizationForm_C);
}

bool statPath(const QByteArray& path, StatInfo& info, bool followLinks)
{
    return (followLinks ? ::stat(path.constData(), &info) : ::lstat(path.constData(), &info)) == 0;
}

bool pathExists(const QByteArray& path)
{
    StatInfo info {};
    return statPath(path, info, false);
}

QByteArray canonical(const QByteArray& path)
{
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return path;
    const QByteArray result(resolved);
    std::free(resolved);
    return result;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// "/a/b/./c/../d" -> "/a/b/d", by the text alone.
QByteArray cleanPath(const QByteArray& path)
{
    QList<QByteArray> parts;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return '/' + parts.join('/');
}

bool isInside(const QByteArray& path, const QByteArray& folder)
{
    return path == folder || path.startsWith(folder.endsWith('/') ? folder : folder + '/');
}

// A name inside the shelf that no listing will be confused by for long: a
// hidden entry, gone again once the import ends.
QByteArray scratchName(const QByteArray& folder, const QByteArray& name)
{
    for (;;) {
        const QByteArray candidate = folder + "/." + name.left(64) + ".import-"
            + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        if (!pathExists(candidate))
            return candidate;
    }
}

// Moves `from` to `to` only when nothing is at `to` yet. EEXIST when there is.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the flag: a hard link cannot replace either.
    if (pathExists(to))
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// Puts the finished copy at `to`; afterwards the old item is at `from`.
int swapIn(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // Without an atomic exchange: step the old item aside, move the new one
    // in, and put the old one back if that fails.
    const QByteArray aside = scratchName(folderOf(to), nameOf(to));
    if (::rename(to.constData(), aside.constData()) != 0)
        return errno;
    if (::rename(from.constData(), to.constData()) != 0) {
        const int error = errno;
        ::rename(aside.constData(), to.constData());
        return error;
    }
    return ::rename(aside.constData(), from.constData()) == 0 ? 0 : (FileCopy::remove(aside), 0);
}

} // namespace

FilesStore::FilesStore(QObject* parent)
    : QObject(parent)
{
    init(DocumentsLocation::path());
}

FilesStore::FilesStore(const QString& documentsFolder, QObject* parent)
    : QObject(parent)
{
    init(documentsFolder.isEmpty() ? QDir::tempPath() : documentsFolder);
}

FilesStore::~FilesStore()
{
    m_queue.clear();
    if (m_worker.joinable()) {
        m_progress->cancel = true;
        m_worker.join();
    }
}

void FilesStore::init(const QString& documentsFolder)
{
    m_folderPath = QDir::cleanPath(QDir(documentsFolder).absoluteFilePath(QString::fromLatin1(FolderName)));
    m_folderBytes = QFile::encodeName(m_folderPath);
    QDir().mkpath(m_folderPath);

    m_watchTimer.setSingleShot(true);
    m_watchTimer.setInterval(WatchDelayMs);
    connect(&m_watchTimer, &QTimer::timeout, this, &FilesStore::refresh);
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        // Not restarted on every change, so a long stream of changes still
        // shows up while it lasts.
        if (!m_watchTimer.isActive())
            m_watchTimer.start();
    });
    m_progressTimer.setInterval(100);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        if (m_progress)
            emit importProgress(m_importingName, m_progress->done, m_progress->total);
    });
    refresh();
}

void FilesStore::watchFolder()
{
    // The folder's parent tells when the folder is removed, moved away or
    // made again; a watch on the folder itself would follow it into the
    // trash, so it is moved to whatever folder now has the name.
    const QString parent = QFileInfo(m_folderPath).path();
    if (!m_watcher->directories().contains(parent) && QFileInfo(parent).isDir())
        m_watcher->addPath(parent);
    StatInfo info {};
    const bool present = statPath(m_folderBytes, info, true) && S_ISDIR(info.st_mode);
    const bool watched = m_watcher->directories().contains(m_folderPath);
    const bool same
        = present && watched && quint64(info.st_dev) == m_watchedDevice && quint64(info.st_ino) == m_watchedInode;
    if (same)
        return;
    if (watched)
        m_watcher->removePath(m_folderPath);
    m_watchedDevice = 0;
    m_watchedInode = 0;
    if (present && m_watcher->addPath(m_folderPath)) {
        m_watchedDevice = quint64(info.st_dev);
        m_watchedInode = quint64(info.st_ino);
    }
}

QByteArray FilesStore::pathBytes(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

QUrl FilesStore::urlFromPath(const QByteArray& path)
{
    const QString text = QString::fromUtf8(path);
    if (text.toUtf8() == path)
        return QUrl::fromLocalFile(text);
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(path.toPercentEncoding("/")), QUrl::TolerantMode);
    return url;
}

QString FilesStore::displayName(const QUrl& url)
{
    return FileCopy::displayName(nameOf(pathBytes(url)));
}

namespace {
struct Keyed
{
    QString key;
    qsizetype index;
};

// Stable, so equal keys keep the order they came in.
void sortKeyed(std::vector<Keyed>& keyed)
{
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return lessByCodePoint(a.key, b.key); });
}
} // namespace

void FilesStore::sortByName(QStringList& names)
{
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i)
        keyed.push_back({sortKey(names.at(i)), i});
    sortKeyed(keyed);
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Keyed& k : keyed)
        sorted.append(names.at(k.index));
    names = std::move(sorted);
}

void FilesStore::refresh()
{
    watchFolder();
    QList<QByteArray> names;
    // The folder's own listing: every entry, hidden ones too, no attributes
    // read, so even a crowded shelf lists quickly.
    if (DIR* dir = ::opendir(m_folderBytes.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            names.append(QByteArray(name));
        }
        ::closedir(dir);
    }
    std::vector<Known> entries;
    entries.reserve(size_t(names.size()));
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    const QByteArray prefix = m_folderBytes + '/';
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray& name = names.at(i);
        auto found = m_known.constFind(name);
        entries.push_back(found != m_known.constEnd()
                              ? *found
                              : Known {sortKey(FileCopy::displayName(name)), urlFromPath(prefix + name)});
        keyed.push_back({entries.back().key, i});
    }
    sortKeyed(keyed);
    QList<QUrl> files;
    files.reserve(names.size());
    for (const Keyed& k : keyed)
        files.append(entries[size_t(k.index)].url);
    QHash<QByteArray, Known> known;
    known.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        known.insert(names.at(i), std::move(entries[size_t(i)]));
    m_known = std::move(known);
    m_files = std::move(files);
    emit filesChanged();
}

void FilesStore::reportImportFailure(const QUrl& url, const QString& name, const QString& reason)
{
    const QString message = QStringLiteral("Could not import ") + name + QStringLiteral(": ") + reason;
    Notices::warn(message);
    emit importFailed(message, url);
}

QString FilesStore::readableName(const QByteArray& name)
{
    const auto hex = [](uint value) {
        return QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0')).toUpper().replace(1, 1, u'x');
    };
    QString text;
    qsizetype at = 0;
    while (at < name.size()) {
        const uchar lead = uchar(name.at(at));
        const qsizetype length = lead < 0x80 ? 1
            : lead >= 0xC2 && lead < 0xE0    ? 2
            : lead >= 0xE0 && lead < 0xF0    ? 3
            : lead >= 0xF0 && lead < 0xF5    ? 4
                                             : 0;
        const QByteArray piece = length ? name.mid(at, length) : QByteArray();
        const QString decoded = QString::fromUtf8(piece);
        // A byte that starts no valid character is shown by its value.
        if (piece.size() != length || length == 0 || decoded.toUtf8() != piece) {
            text += hex(lead);
            ++at;
            continue;
        }
        at += length;
        const QChar first = decoded.at(0);
        if (first == QLatin1Char('\n'))
            text += QStringLiteral("\\n");
        else if (first == QLatin1Char('\t'))
            text += QStringLiteral("\\t");
        else if (first == QLatin1Char('\r'))
            text += QStringLiteral("\\r");
        else if (decoded.size() == 1 && first.category() == QChar::Other_Control)
            text += hex(first.unicode());
        else
            text += decoded;
    }
    return text;
}

void FilesStore::importFile(QUrl from)
{
    m_queue.push_back(std::move(from));
    if (!m_worker.joinable())
        startNextImport();
}

void FilesStore::cancelImports()
{
    m_queue.clear();
    if (m_progress)
        m_progress->cancel = true;
}

void FilesStore::startNextImport()
{
    while (!m_worker.joinable() && !m_queue.empty()) {
        const QUrl from = m_queue.front();
        m_queue.pop_front();
        if (!from.isLocalFile()) {
            reportImportFailure(from, from.fileName().isEmpty() ? from.toDisplayString() : from.fileName(),
                                QStringLiteral("not a file on this computer"));
            refresh();
            continue;
        }
        const QByteArray source = cleanPath(pathBytes(from));
        const QByteArray name = nameOf(source);
        const QString shownName = readableName(name);
        if (name.isEmpty()) {
            reportImportFailure(from, readableName(source), QStringLiteral("a whole disk cannot be put on the shelf"));
            refresh();
            continue;
        }
        // The folder may have been removed by another program since the start.
        QDir().mkpath(m_folderPath);
        const QByteArray destination = m_folderBytes + '/' + name;

        // An item dropped from the shelf onto the shelf is already there;
        // copying it over itself would only risk it.
        StatInfo sourceInfo {};
        StatInfo destinationInfo {};
        const bool sourceExists = statPath(source, sourceInfo, true);
        const bool replacing = statPath(destination, destinationInfo, false);
        const QByteArray shelf = canonical(m_folderBytes);
        if (source == destination || canonical(folderOf(source)) == shelf
            || (sourceExists && replacing && sourceInfo.st_dev == destinationInfo.st_dev
                && sourceInfo.st_ino == destinationInfo.st_ino)) {
            refresh();
            continue;
        }
        const QByteArray sourceReal = canonical(source);
        if (sourceExists && S_ISDIR(sourceInfo.st_mode) && isInside(shelf, sourceReal)) {
            reportImportFailure(from, shownName, QStringLiteral("the shelf folder is inside it"));
            refresh();
            continue;
        }
        // Replacing the shelf's item would delete the source with it.
        if (replacing && S_ISDIR(destinationInfo.st_mode) && isInside(sourceReal, canonical(destination))) {
            reportImportFailure(from, shownName,
                                QStringLiteral("it is inside the shelf's %1, which it would replace").arg(shownName));
            refresh();
            continue;
        }

        // The copy is made under a scratch name and takes the real name only
        // when complete, so a failure or a cancel leaves an older item of that
        // name untouched. A replaced item is gone for good, so its successor
        // must be on the disk.
        const QByteArray scratch = scratchName(m_folderBytes, name);
        m_progress = std::make_shared<FileCopy::Progress>();
        m_importingName = shownName;
        auto progress = m_progress;
        m_worker = std::thread([this, from, source, scratch, destination, replacing, progress, shownName] {
            progress->total = std::max<qint64>(1, FileCopy::measure(source));
            FileCopy::Result result = FileCopy::copy(source, scratch, replacing, progress.get());
            if (result.ok && progress->cancel) {
                FileCopy::remove(scratch);
                result = {false, QStringLiteral("cancelled"), true};
            }
            if (result.ok) {
                int error = replacing ? swapIn(scratch, destination) : renameNoReplace(scratch, destination);
                if (error == EEXIST)
                    error = swapIn(scratch, destination);
                // After a swap the scratch name holds the old item.
                FileCopy::remove(scratch);
                if (error)
                    result = {false, FileCopy::errorText(error)};
            }
            QMetaObject::invokeMethod(
                this, [this, from, shownName, result] { finishImport(from, shownName, result); }, Qt::QueuedConnection);
        });
        m_progressTimer.start();
    }
}

void FilesStore::finishImport(const QUrl& from, const QString& name, const FileCopy::Result& result)
{
    if (m_worker.joinable())
        m_worker.join();
    m_progressTimer.stop();
    m_progress.reset();
    m_importingName.clear();
    if (!result.ok && !result.cancelled)
        reportImportFailure(from, name, result.reason);
    refresh();
    startNextImport();
    if (!isImporting())
        emit importsFinished();
}

bool FilesStore::isShelfEntry(const QByteArray& path) const
{
    const QByteArray name = nameOf(path);
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    const QByteArray parent = folderOf(path);
    return parent == m_folderBytes || canonical(parent) == canonical(m_folderBytes);
}

void FilesStore::deleteFile(QUrl url)
{
    QString failure;
    const QByteArray path = url.isLocalFile() ? cleanPath(pathBytes(url)) : QByteArray();
    if (!path.isEmpty() && isShelfEntry(path)) {
        const FileCopy::Result removed = FileCopy::remove(path);
        if (!removed.ok)
            failure = removed.reason;
    }
    refresh();
    if (failure.isEmpty() && m_files.contains(url) && pathExists(path))
        failure = QStringLiteral("it is still there");
    if (failure.isEmpty())
        return;
    const QString message
        = QStringLiteral("Could not delete ") + readableName(nameOf(pathBytes(url))) + QStringLiteral(": ") + failure;
    Notices::warn(message);
    emit deleteFailed(message, url);
}
