#include "NotesStore.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "notes/NotesEncoding.h"

namespace {
constexpr int DiskCheckDelayMs = 100;
const QString RecoveryPrefix = QStringLiteral("Quillnook-");
const QString AnnouncedMarker = QStringLiteral(".announced");

size_t hashOf(const QByteArray& bytes)
{
    return qHash(bytes, 0);
}

QString stateHome()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return state;
    return QDir::homePath() + QStringLiteral("/.local/state");
}
} // namespace

NotesStore::NotesStore(const QString& folder, QObject* parent)
    : NotesStore(folder, defaultRecoveryFolder(), nullptr, parent)
{ }

NotesStore::NotesStore(const QString& folder, const QString& recoveryFolder,
                       std::unique_ptr<NotesFileSystem> fileSystem, QObject* parent)
    : QObject(parent)
    , m_fileSystem(fileSystem ? std::move(fileSystem) : std::make_unique<NotesFileSystem>())
    , m_filePath(QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(QStringLiteral("Quillnook.txt")))
    , m_recoveryFolder(recoveryFolder)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_saveTimer, &QTimer::timeout, this, &NotesStore::save);
    m_retryTimer.setInterval(RetryDelayMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &NotesStore::save);
    // Editors and sync tools change a file in several steps; look once they are done.
    m_checkTimer.setSingleShot(true);
    m_checkTimer.setInterval(DiskCheckDelayMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &NotesStore::checkDisk);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_checkTimer, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_checkTimer, qOverload<>(&QTimer::start));
    load();
    findRecoveredFile();
    watch();
}

NotesStore::~NotesStore() = default;

QString NotesStore::defaultRecoveryFolder()
{
    return stateHome() + QStringLiteral("/Quillnook");
}

void NotesStore::setText(const QString& text)
{
    if (text == m_text) {
        if (m_dirty)
            scheduleSave();
        return;
    }
    m_text = text;
    m_longestLine = NotesEncoding::longestLine(m_text);
    const bool wasEditable = m_editable;
    judgeSize();
    changed();
    if (m_editable != wasEditable)
        emit noticeChanged();
}

void NotesStore::replaceText(qsizetype position, qsizetype removed, const QString& added)
{
    position = qBound<qsizetype>(0, position, m_text.size());
    removed = qBound<qsizetype>(0, removed, m_text.size() - position);
    if (removed == 0 && added.isEmpty())
        return;
    m_text.replace(position, removed, added);
    changed();
}

void NotesStore::changed()
{
    const bool wasClean = !m_dirty;
    m_dirty = true;
    emit textChanged(m_text);
    if (wasClean && m_fileUnreadable)
        emit noticeChanged();
    scheduleSave();
}

void NotesStore::load()
{
    m_diskStamp = m_fileSystem->stamp(m_filePath);
    if (!m_diskStamp.exists)
        return;
    QByteArray bytes;
    QString error;
    if (!m_fileSystem->read(m_filePath, &bytes, &error)) {
        m_fileUnreadable = true;
        m_readError = error;
        return;
    }
    adopt(bytes);
}

bool NotesStore::adopt(const QByteArray& bytes)
{
    NotesEncoding::Decoded decoded = NotesEncoding::decode(bytes);
    if (!decoded.valid) {
        // The pad keeps what it shows; the bytes are kept aside before the
        // first write, which only typing brings.
        m_fileUnreadable = true;
        m_readError.clear();
        return false;
    }
    m_fileUnreadable = false;
    m_readError.clear();
    m_text = std::move(decoded.text);
    m_crlf = decoded.crlf;
    m_byteOrderMark = decoded.byteOrderMark;
    m_longestLine = decoded.longestLine;
    m_diskHash = hashOf(bytes);
    judgeSize();
    return true;
}

void NotesStore::judgeSize()
{
    m_editable = m_longestLine <= LongestEditableLine && m_text.size() <= LargestEditableNote;
}

void NotesStore::scheduleSave()
{
    // Each edit restarts the half-second pause, but the first unsaved edit
    // waits no longer than MaxSaveDelayMs however steadily the typing goes.
    if (!m_firstUnsavedEdit.isValid())
        m_firstUnsavedEdit.start();
    const qint64 left = MaxSaveDelayMs - m_firstUnsavedEdit.elapsed();
    m_saveTimer.start(int(qBound(qint64(0), left, qint64(SaveDelayMs))));
}

void NotesStore::watch()
{
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!m_watcher.directories().contains(folder) && QFileInfo::exists(folder))
        m_watcher.addPath(folder);
    // A file replaced by a rename is a new file the watcher must be told of.
    if (!m_watcher.files().contains(m_filePath) && QFileInfo::exists(m_filePath))
        m_watcher.addPath(m_filePath);
}

void NotesStore::checkDisk()
{
    watch();
    const NotesFileSystem::Stamp now = m_fileSystem->stamp(m_filePath);
    if (now == m_diskStamp)
        return;
    if (!now.exists) {
        // Deleted from outside: the pad keeps the text, and it is written
        // again only when the user types.
        m_diskStamp = now;
        return;
    }
    QByteArray bytes;
    QString error;
    if (!m_fileSystem->read(m_filePath, &bytes, &error)) {
        m_diskStamp = now;
        m_fileUnreadable = true;
        m_readError = error;
        emit noticeChanged();
        return;
    }
    if (m_diskStamp.exists && hashOf(bytes) == m_diskHash) {
        m_diskStamp = now;
        return;
    }
    if (m_dirty) {
        // Both sides changed: save() keeps theirs beside ours.
        save();
        return;
    }
    m_diskStamp = now;
    if (adopt(bytes))
        emit textChanged(m_text);
    // Readable or not, editable or not: the banner may say something else now.
    emit noticeChanged();
}

QString NotesStore::freeName(const QString& suffix) const
{
    QString name = m_filePath + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = m_filePath + suffix + QLatin1Char('-') + QString::number(n);
    return name;
}

bool NotesStore::keepOutsideVersion(const QString& suffix, const QByteArray* bytes, QString* kept, QString* error)
{
    // A second name for the same bytes: nothing is copied, nothing can be
    // half-written, and an existing copy is never replaced.
    int failed = 0;
    QString name;
    do {
        name = freeName(suffix);
        if (m_fileSystem->link(m_filePath, name, &failed)) {
            *kept = name;
            return true;
        }
    } while (failed == EEXIST);
    // Folders without hard links get a copy, or the file itself moves aside.
    const bool ok = bytes ? m_fileSystem->writeNew(name, *bytes, error) : m_fileSystem->rename(m_filePath, name, error);
    if (ok)
        *kept = name;
    return ok;
}

bool NotesStore::save()
{
    if (!m_dirty)
        return true;
    if (!m_exiting)
        m_saveTimer.stop();
    m_firstUnsavedEdit.invalidate();
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());

    QString error;
    bool ok = true;
    bool keptCopy = false;
    const NotesFileSystem::Stamp now = m_fileSystem->stamp(m_filePath);
    if (now.exists && m_fileUnreadable) {
        ok = keepOutsideVersion(QStringLiteral(".unreadable"), nullptr, &m_keptCopy, &error);
        keptCopy = ok;
        m_fileUnreadable = !ok;
    } else if (now.exists && now != m_diskStamp) {
        QByteArray theirs;
        if (!m_fileSystem->read(m_filePath, &theirs, &error)) {
            ok = keepOutsideVersion(QStringLiteral(".conflict"), nullptr, &m_conflictCopy, &error);
            keptCopy = ok;
        } else if (!m_diskStamp.exists || hashOf(theirs) != m_diskHash) {
            ok = keepOutsideVersion(QStringLiteral(".conflict"), &theirs, &m_conflictCopy, &error);
            keptCopy = ok;
        }
    }
    if (keptCopy) {
        m_dismissed = false;
        // Their version is safe now; writing over it, also on a retry, loses nothing.
        m_diskStamp = m_fileSystem->stamp(m_filePath);
    }

    const QByteArray bytes = NotesEncoding::encode(m_text, m_crlf, m_byteOrderMark);
    ok = ok && m_fileSystem->writeAtomically(m_filePath, bytes, &error);
    const size_t hash = hashOf(bytes);
    const NotesFileSystem::Stamp written = m_fileSystem->stamp(m_filePath);
    if (ok || (written.size == bytes.size() && written != now)) {
        // Also after a failed sync of the folder: the file holds our text, so
        // it must not look like another program's change.
        m_diskStamp = written;
        m_diskHash = hash;
    }
    m_dirty = !ok;
    // An exit handler leaves timers and the watcher alone: the event loop is gone.
    if (!m_exiting) {
        if (ok)
            m_retryTimer.stop();
        else if (!m_retryTimer.isActive())
            m_retryTimer.start();
        watch();
    }
    setSaveError(ok ? QString() : error);
    if (keptCopy)
        emit noticeChanged();
    emit saved(ok);
    return ok;
}

bool NotesStore::saveBeforeExit()
{
    m_exiting = true;
    if (save())
        return true;
    const QString kept = writeRecoveryFile();
    QByteArray message = QByteArray("⚠️ Could not save notes: ") + m_saveError.toUtf8();
    if (kept.isEmpty())
        message += QByteArray("; the text follows:\n") + m_text.toUtf8() + '\n';
    else
        message += QByteArray("; the text is kept in ") + QFile::encodeName(kept) + '\n';
    // The last place left for the words when no file can be written.
    std::fwrite(message.constData(), 1, size_t(message.size()), stdout);
    std::fflush(stdout);
    return false;
}

QString NotesStore::writeRecoveryFile()
{
    if (!QDir().mkpath(m_recoveryFolder))
        return {};
    // Plain C time: this may run from an exit handler, after Qt's own
    // helpers are gone.
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    const QString base = m_recoveryFolder + QLatin1Char('/') + RecoveryPrefix + QString::fromLatin1(stamp);
    const QByteArray bytes = NotesEncoding::encode(m_text, m_crlf, m_byteOrderMark);
    QString error;
    for (int n = 1; n < 100; ++n) {
        const QString path
            = base + (n > 1 ? QLatin1Char('-') + QString::number(n) : QString()) + QStringLiteral(".txt");
        if (m_fileSystem->writeNew(path, bytes, &error))
            return path;
        if (!QFileInfo::exists(path))
            return {};
    }
    return {};
}

void NotesStore::findRecoveredFile()
{
    // The newest recovery file made since the last start that named one.
    const QDir folder(m_recoveryFolder);
    const QFileInfo marker(folder.filePath(AnnouncedMarker));
    const QFileInfoList files
        = folder.entryInfoList({RecoveryPrefix + QStringLiteral("*.txt")}, QDir::Files, QDir::Time);
    if (files.isEmpty() || (marker.exists() && files.constFirst().lastModified() <= marker.lastModified()))
        return;
    m_recoveredFile = files.constFirst().absoluteFilePath();
    QFile touched(marker.absoluteFilePath());
    if (touched.open(QIODevice::WriteOnly))
        touched.write(QFile::encodeName(m_recoveredFile) + '\n');
}

void NotesStore::setSaveError(const QString& error)
{
    if (error == m_saveError)
        return;
    m_saveError = error;
    emit noticeChanged();
}

NotesStore::Notice NotesStore::notice() const
{
    if (!m_saveError.isEmpty())
        return Notice::SaveFailed;
    if (!isEditable())
        return Notice::TooBigToEdit;
    if (m_fileUnreadable)
        return Notice::Unreadable;
    if (m_dismissed)
        return Notice::None;
    if (!m_conflictCopy.isEmpty())
        return Notice::Conflict;
    if (!m_keptCopy.isEmpty())
        return Notice::Unreadable;
    if (!m_recoveredFile.isEmpty())
        return Notice::Recovered;
    return Notice::None;
}

QString NotesStore::noticeText() const
{
    const QString name = QFileInfo(m_filePath).fileName();
    switch (notice()) {
    case Notice::None:
        return {};
    case Notice::SaveFailed:
        return QStringLiteral("Could not save notes: ") + m_saveError;
    case Notice::TooBigToEdit:
        if (m_text.size() > LargestEditableNote) {
            return QStringLiteral("This note is %1 MB, too large to edit here. Its beginning is shown read-only; "
                                  "the file stays as it is.")
                .arg(m_text.size() / 1'000'000);
        }
        return QStringLiteral("This note has a line of over 100,000 characters, too long to edit here without "
                              "freezing. It is shown shortened and read-only; the file stays as it is.");
    case Notice::Unreadable: {
        const QString why = m_readError.isEmpty()
            ? QStringLiteral(" could not be read as UTF-8 text.")
            : QStringLiteral(" could not be read (") + m_readError + QStringLiteral(").");
        if (!m_fileUnreadable)
            return name + why + QStringLiteral(" Its bytes are kept in ") + m_keptCopy + QLatin1Char('.');
        return name + why + QStringLiteral(" Its bytes will be kept in ") + freeName(QStringLiteral(".unreadable"))
            + QStringLiteral(" when you start typing.");
    }
    case Notice::Conflict:
        return name
            + QStringLiteral(" was changed by another program while you typed. Your text is saved; the "
                             "other version is kept in ")
            + m_conflictCopy + QLatin1Char('.');
    case Notice::Recovered:
        return QStringLiteral("Your notes could not be saved when Quillnook last closed. They are kept in ")
            + m_recoveredFile + QLatin1Char('.');
    }
    return {};
}

bool NotesStore::isNoticeDismissible() const
{
    const Notice shown = notice();
    return shown != Notice::None && shown != Notice::SaveFailed && shown != Notice::TooBigToEdit && !m_fileUnreadable;
}

void NotesStore::dismissNotice()
{
    if (!isNoticeDismissible())
        return;
    // Every informing notice goes at once; a newer one comes back.
    m_dismissed = true;
    m_recoveredFile.clear();
    emit noticeChanged();
}
