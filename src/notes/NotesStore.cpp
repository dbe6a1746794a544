#include "NotesStore.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "base/Notices.h"
#include "notes/NotesEncoding.h"

#include <sys/stat.h>
#include <time.h>

namespace {
constexpr int DiskCheckDelayMs = 100;
const QString RecoveryPrefix = QStringLiteral("Quillnook-");
const QString AnnouncedMarker = QStringLiteral(".announced");
const QString HistoryPattern = QStringLiteral("Quillnook-*.txt");

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
                       std::unique_ptr<NotesFileSystem> fileSystem, QObject* parent, Clock* clock)
    : QObject(parent)
    , m_fileSystem(fileSystem ? std::move(fileSystem) : std::make_unique<NotesFileSystem>())
    , m_filePath(QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(QStringLiteral("Quillnook.txt")))
    , m_recoveryFolder(recoveryFolder)
    , m_clock(clock ? clock : Clock::system())
    , m_saveTimer(m_clock)
    , m_retryTimer(m_clock)
    , m_checkTimer(m_clock)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_saveTimer, &ClockTimer::timeout, this, &NotesStore::save);
    m_retryTimer.setInterval(RetryDelayMs);
    connect(&m_retryTimer, &ClockTimer::timeout, this, &NotesStore::save);
    // Editors and sync tools change a file in several steps; look once they are done.
    m_checkTimer.setSingleShot(true);
    m_checkTimer.setInterval(DiskCheckDelayMs);
    connect(&m_checkTimer, &ClockTimer::timeout, this, &NotesStore::checkDisk);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_checkTimer, qOverload<>(&ClockTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_checkTimer, qOverload<>(&ClockTimer::start));
    QString error;
    if (!m_fileSystem->cleanUp(m_filePath, &error))
        m_saveError = error;
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
    // Only the part that differs is replaced, so every other line keeps its
    // own end in the file.
    const qsizetype shorter = qMin(text.size(), m_text.size());
    qsizetype head = 0;
    while (head < shorter && text.at(head) == m_text.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && text.at(text.size() - 1 - tail) == m_text.at(m_text.size() - 1 - tail))
        ++tail;
    m_lineEnds.replace(m_text, head, m_text.size() - head - tail, text.mid(head, text.size() - head - tail));
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
    m_lineEnds.replace(m_text, position, removed, added);
    m_text.replace(position, removed, added);
    changed();
}

void NotesStore::changed()
{
    const bool wasClean = !m_dirty;
    m_dirty = true;
    bool noticeMoved = wasClean && m_fileUnreadable;
    if (m_changedOutside) {
        // Back to the text from before: nothing is left to undo.
        if (m_text == m_textBeforeOutsideChange) {
            m_changedOutside = false;
            m_textBeforeOutsideChange.clear();
            noticeMoved = true;
        } else if (!m_typedSinceOutsideChange) {
            m_typedSinceOutsideChange = true;
            noticeMoved = true;
        }
    }
    emit textChanged(m_text);
    if (noticeMoved)
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
    m_lineEnds = decoded.lineEnds;
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
    const qint64 now = m_clock->nowMs();
    if (m_firstUnsavedEdit < 0)
        m_firstUnsavedEdit = now;
    const qint64 left = MaxSaveDelayMs - (now - m_firstUnsavedEdit);
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
    const QString before = m_text;
    const bool wasEditable = m_editable;
    if (adopt(bytes)) {
        if (wasEditable && m_editable && m_text != before) {
            // What was shown stays one undo away; after several changes in a
            // row, the user's own text is what an undo brings back.
            if (!m_changedOutside || m_typedSinceOutsideChange)
                m_textBeforeOutsideChange = before;
            m_changedOutside = true;
            m_typedSinceOutsideChange = false;
            m_dismissed = false;
        }
        emit textChanged(m_text);
    }
    // Readable or not, editable or not: the banner may say something else now.
    emit noticeChanged();
}

QString NotesStore::freeName(const QString& suffix, const QString& beside) const
{
    const QString base = beside.isEmpty() ? m_filePath : beside;
    QString name = base + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = base + suffix + QLatin1Char('-') + QString::number(n);
    return name;
}

bool NotesStore::keepOutsideVersion(const QString& suffix, const QByteArray* bytes, QString* kept, QString* error,
                                    bool* linked)
{
    // A second name for the same bytes: nothing is copied, nothing can be
    // half-written, and an existing copy is never replaced. A file that has
    // other names already is written in place, which would change the
    // copy too: it gets a copy of its own where its bytes are at hand.
    int failed = 0;
    QString name = freeName(suffix);
    const bool linkable = !bytes || m_fileSystem->stamp(m_filePath).links <= 1;
    while (linkable) {
        if (m_fileSystem->link(m_filePath, name, &failed)) {
            *kept = name;
            *linked = true;
            return true;
        }
        if (failed != EEXIST)
            break;
        name = freeName(suffix);
    }
    // Folders without hard links get a copy, or the file itself moves aside:
    // the one at the end of any links, which stay links.
    const QString target = NotesFileSystem::resolved(m_filePath);
    if (!bytes && target != m_filePath)
        name = freeName(suffix, target);
    const bool ok
        = bytes ? m_fileSystem->writeCopy(name, *bytes, m_filePath, error) : m_fileSystem->rename(target, name, error);
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
    m_firstUnsavedEdit = -1;
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());

    QString error;
    bool ok = true;
    bool keptCopy = false;
    bool linked = false;
    const NotesFileSystem::Stamp now = m_fileSystem->stamp(m_filePath);
    if (now.exists && m_fileUnreadable) {
        ok = keepOutsideVersion(QStringLiteral(".unreadable"), nullptr, &m_keptCopy, &error, &linked);
        keptCopy = ok;
        m_fileUnreadable = !ok;
    } else if (now.exists && now != m_diskStamp) {
        QByteArray theirs;
        if (!m_fileSystem->read(m_filePath, &theirs, &error)) {
            ok = keepOutsideVersion(QStringLiteral(".conflict"), nullptr, &m_conflictCopy, &error, &linked);
            keptCopy = ok;
        } else if (!m_diskStamp.exists || hashOf(theirs) != m_diskHash) {
            ok = keepOutsideVersion(QStringLiteral(".conflict"), &theirs, &m_conflictCopy, &error, &linked);
            keptCopy = ok;
        }
    }
    if (keptCopy) {
        m_dismissed = false;
        // Their version is safe now; writing over it, also on a retry, loses nothing.
        m_diskStamp = m_fileSystem->stamp(m_filePath);
    }

    const QByteArray bytes = NotesEncoding::encode(m_text, m_lineEnds, m_byteOrderMark);
    // A copy kept as another name of the file must not be written into.
    ok = ok && m_fileSystem->writeAtomically(m_filePath, bytes, &error, linked);
    const size_t hash = hashOf(bytes);
    const NotesFileSystem::Stamp written = m_fileSystem->stamp(m_filePath);
    if (ok || (written.size == bytes.size() && written != now)) {
        // Also after a failed sync of the folder: the file holds our text, so
        // it must not look like another program's change.
        m_diskStamp = written;
        m_diskHash = hash;
    }
    m_dirty = !ok;
    if (ok)
        keepInHistory(bytes);
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
    QByteArray message = QByteArray("Could not save notes: ") + m_saveError.toUtf8();
    if (kept.isEmpty())
        message += QByteArray("; the text follows:\n") + m_text.toUtf8();
    else
        message += QByteArray("; the text is kept in ") + QFile::encodeName(kept);
    // The last place left for the words when no file can be written.
    Notices::warn(message);
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
    const QByteArray bytes = NotesEncoding::encode(m_text, m_lineEnds, m_byteOrderMark);
    QString error;
    for (int n = 1; n < 100; ++n) {
        const QString path
            = base + (n > 1 ? QLatin1Char('-') + QString::number(n) : QString()) + QStringLiteral(".txt");
        if (m_fileSystem->writeNew(path, bytes, &error, NotesFileSystem::PrivateMode))
            return path;
        if (!QFileInfo::exists(path))
            return {};
    }
    return {};
}

void NotesStore::keepInHistory(const QByteArray& bytes)
{
    // Plain C time and folder calls: this may run from an exit handler,
    // after Qt's own helpers are gone.
    const QString folder = historyFolder();
    const QByteArray local = QFile::encodeName(folder);
    if (::mkdir(local.constData(), 0700) != 0 && errno == ENOENT) {
        QDir().mkpath(m_recoveryFolder);
        ::mkdir(local.constData(), 0700);
    }
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm when {};
    localtime_r(&now.tv_sec, &when);
    char stamp[48] = {};
    const size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &when);
    std::snprintf(stamp + length, sizeof stamp - length, "-%06d", int(now.tv_nsec / 1000));
    const QString base = folder + QLatin1Char('/') + RecoveryPrefix + QString::fromLatin1(stamp);
    QString error;
    QString path;
    bool kept = false;
    for (int n = 1; !kept && n < 100; ++n) {
        path = base + (n > 1 ? QLatin1Char('-') + QString::number(n) : QString()) + QStringLiteral(".txt");
        // Unsynced: the notes file itself is; this copy only adds a way back.
        kept = m_fileSystem->writeNew(path, bytes, &error, NotesFileSystem::PrivateMode, false);
        if (!kept && !QFileInfo::exists(path))
            break;
    }
    const QString failed = kept ? QString() : error;
    if (failed != m_historyError) {
        m_historyError = failed;
        if (!failed.isEmpty())
            m_dismissed = false;
        if (!m_exiting)
            emit noticeChanged();
    }
    if (kept && !m_exiting)
        pruneHistory(path);
}

void NotesStore::pruneHistory(const QString& newest)
{
    // The one just written counts first and always stays, also when the
    // clock was set back; the others from the newest name down.
    const QFileInfo written(newest);
    qint64 bytes = written.size();
    int count = 1;
    const QFileInfoList versions = QDir(historyFolder()).entryInfoList({HistoryPattern}, QDir::Files, QDir::Name);
    for (qsizetype i = versions.size() - 1; i >= 0; --i) {
        const QFileInfo& version = versions.at(i);
        if (version.fileName() == written.fileName())
            continue;
        bytes += version.size();
        ++count;
        if (count > HistoryVersions || bytes > HistoryBytes)
            QFile::remove(version.filePath());
    }
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
    if (m_changedOutside)
        return Notice::ChangedOutside;
    if (!m_recoveredFile.isEmpty())
        return Notice::Recovered;
    if (!m_historyError.isEmpty())
        return Notice::HistoryFailed;
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
    case Notice::ChangedOutside:
        return name + QStringLiteral(" was changed by another program");
    case Notice::Recovered:
        return QStringLiteral("Your notes could not be saved when Quillnook last closed. They are kept in ")
            + m_recoveredFile + QLatin1Char('.');
    case Notice::HistoryFailed:
        return QStringLiteral("Earlier versions of your notes could not be kept in ") + historyFolder()
            + QStringLiteral(": ") + m_historyError;
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
    m_changedOutside = false;
    m_textBeforeOutsideChange.clear();
    emit noticeChanged();
}

bool NotesStore::canUndoOutsideChange() const
{
    return notice() == Notice::ChangedOutside && !m_typedSinceOutsideChange;
}

void NotesStore::undoOutsideChange()
{
    if (canUndoOutsideChange())
        setText(m_textBeforeOutsideChange);
}
