#include "FilesStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRandomGenerator>

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

bool statPath(const QString& path, StatInfo& info, bool followLinks)
{
    const QByteArray bytes = QFile::encodeName(path);
    return (followLinks ? ::stat(bytes.constData(), &info) : ::lstat(bytes.constData(), &info)) == 0;
}

bool pathExists(const QString& path)
{
    StatInfo info {};
    return statPath(path, info, false);
}

QString canonical(const QString& path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

// A name inside the shelf that no listing will be confused by for long: a
// hidden entry, gone again once the import ends.
QString scratchName(const QString& folder, const QString& name)
{
    for (;;) {
        const QString candidate = folder + QStringLiteral("/.") + name.left(64) + QStringLiteral(".import-")
            + QString::number(QRandomGenerator::global()->generate(), 36);
        if (!pathExists(candidate))
            return candidate;
    }
}

// Moves `from` to `to` only when nothing is at `to` yet. EEXIST when there is.
int renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the flag: a hard link cannot replace either.
    if (pathExists(to))
        return EEXIST;
    return ::rename(a.constData(), b.constData()) == 0 ? 0 : errno;
}

// Puts the finished copy at `to`; afterwards the old item is at `from`.
int swapIn(const QString& from, const QString& to)
{
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // Without an atomic exchange: step the old item aside, move the new one
    // in, and put the old one back if that fails.
    const QString aside = scratchName(QFileInfo(to).path(), QFileInfo(to).fileName());
    const QByteArray c = QFile::encodeName(aside);
    if (::rename(b.constData(), c.constData()) != 0)
        return errno;
    if (::rename(a.constData(), b.constData()) != 0) {
        const int error = errno;
        ::rename(c.constData(), b.constData());
        return error;
    }
    return ::rename(c.constData(), a.constData()) == 0 ? 0 : (FileCopy::removeAll(aside), 0);
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

FilesStore::~FilesStore() = default;

void FilesStore::init(const QString& documentsFolder)
{
    m_folderPath = QDir::cleanPath(QDir(documentsFolder).absoluteFilePath(QString::fromLatin1(FolderName)));
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
    refresh();
}

void FilesStore::watchFolder()
{
    // The watch ends with the folder; a folder made again is watched again.
    if (m_watcher->directories().isEmpty() && QFileInfo(m_folderPath).isDir())
        m_watcher->addPath(m_folderPath);
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
    QStringList names;
    // The folder's own listing: every entry, hidden ones too, no attributes
    // read, so even a crowded shelf lists quickly.
    if (DIR* dir = ::opendir(QFile::encodeName(m_folderPath).constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            names.append(QFile::decodeName(name));
        }
        ::closedir(dir);
    }
    std::vector<Known> entries;
    entries.reserve(size_t(names.size()));
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    const QString prefix = m_folderPath + QLatin1Char('/');
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        auto found = m_known.constFind(name);
        entries.push_back(found != m_known.constEnd() ? *found
                                                      : Known {sortKey(name), QUrl::fromLocalFile(prefix + name)});
        keyed.push_back({entries.back().key, i});
    }
    sortKeyed(keyed);
    QList<QUrl> files;
    files.reserve(names.size());
    for (const Keyed& k : keyed)
        files.append(entries[size_t(k.index)].url);
    QHash<QString, Known> known;
    known.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        known.insert(names.at(i), std::move(entries[size_t(i)]));
    m_known = std::move(known);
    m_files = std::move(files);
    emit filesChanged();
}

void FilesStore::reportImportFailure(const QString& name, const QString& reason)
{
    const QByteArray line
        = (QStringLiteral("⚠️ Could not import ") + name + QStringLiteral(": ") + reason + QLatin1Char('\n'))
              .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

void FilesStore::importFile(QUrl from)
{
    if (!from.isLocalFile()) {
        reportImportFailure(from.fileName().isEmpty() ? from.toDisplayString() : from.fileName(),
                            QStringLiteral("not a file on this computer"));
        refresh();
        return;
    }
    const QString source = QDir::cleanPath(QFileInfo(from.toLocalFile()).absoluteFilePath());
    const QString name = QFileInfo(source).fileName();
    if (name.isEmpty()) {
        reportImportFailure(source, QStringLiteral("a whole disk cannot be put on the shelf"));
        refresh();
        return;
    }
    // The folder may have been removed by another program since the start.
    QDir().mkpath(m_folderPath);
    const QString destination = m_folderPath + QLatin1Char('/') + name;

    // An item dropped from the shelf onto the shelf is already there; copying
    // it over itself would only risk it.
    StatInfo sourceInfo {};
    StatInfo destinationInfo {};
    const bool sourceExists = statPath(source, sourceInfo, true);
    const bool replacing = statPath(destination, destinationInfo, false);
    if (source == destination || canonical(QFileInfo(source).path()) == canonical(m_folderPath)
        || (sourceExists && replacing && sourceInfo.st_dev == destinationInfo.st_dev
            && sourceInfo.st_ino == destinationInfo.st_ino)) {
        refresh();
        return;
    }
    if (sourceExists && S_ISDIR(sourceInfo.st_mode)) {
        const QString sourceFolder = canonical(source);
        const QString shelf = canonical(m_folderPath);
        if (shelf == sourceFolder || shelf.startsWith(sourceFolder + QLatin1Char('/'))) {
            reportImportFailure(name, QStringLiteral("the shelf folder is inside it"));
            refresh();
            return;
        }
    }

    // The copy is made under a scratch name and takes the real name only when
    // complete, so a failure leaves an older item of that name untouched. A
    // replaced item is gone for good, so its successor must be on the disk.
    const QString scratch = scratchName(m_folderPath, name);
    const FileCopy::Result copied = FileCopy::copy(source, scratch, replacing);
    if (!copied.ok) {
        reportImportFailure(name, copied.reason);
        refresh();
        return;
    }
    int error = replacing ? swapIn(scratch, destination) : renameNoReplace(scratch, destination);
    if (error == EEXIST)
        error = swapIn(scratch, destination);
    // After a swap the scratch name holds the old item.
    FileCopy::removeAll(scratch);
    if (error)
        reportImportFailure(name, FileCopy::errorText(error));
    refresh();
}

bool FilesStore::isShelfEntry(const QString& path) const
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    const QString parent = info.path();
    return parent == m_folderPath || canonical(parent) == canonical(m_folderPath);
}

void FilesStore::deleteFile(QUrl url)
{
    if (url.isLocalFile()) {
        const QString path = QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
        if (isShelfEntry(path))
            FileCopy::removeAll(path);
    }
    refresh();
}
