#pragma once

#include <memory>

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "notes/NotesEncoding.h"
#include "notes/NotesFileSystem.h"
#include "platform/Clock.h"

// The one notes text and its file. Loaded once, written half a second after
// the last edit (and never more than two seconds after the first unsaved
// one), and at once whenever the application asks. Only text that differs
// from the file is written; writes replace the whole file atomically, and a
// failed write is shown and retried. Changes made to the file by other
// programs are loaded, which the user may undo, or kept beside ours when
// both sides changed. Every version written is also kept in a short history
// of its own, so one that another program wrote over can still be found.
class NotesStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)

public:
    static constexpr int SaveDelayMs = 500;
    static constexpr int MaxSaveDelayMs = 2000;
    static constexpr int RetryDelayMs = 3000;
    // Longer lines make the editor take seconds per key; larger notes take
    // the editor several times their size in memory.
    static constexpr qsizetype LongestEditableLine = 100'000;
    static constexpr qsizetype LargestEditableNote = 20'000'000;
    // The history keeps the newest saves up to whichever limit comes first;
    // the newest one always.
    static constexpr int HistoryVersions = 50;
    static constexpr qint64 HistoryBytes = 20'000'000;

    // What the banner above the notes tells, most urgent first.
    enum class Notice
    {
        None,
        SaveFailed,
        TooBigToEdit,
        Unreadable,
        Conflict,
        ChangedOutside,
        Recovered,
        HistoryFailed
    };
    Q_ENUM(Notice)

    // folder: where "Quillnook.txt" lives; the temporary folder when empty.
    explicit NotesStore(const QString& folder, QObject* parent = nullptr);
    // recoveryFolder: where text goes that could not be saved at quit.
    // fileSystem: the file calls to use; the real ones when null.
    // clock: times the pause before a save, its bound and the retries; the
    // system clock when null.
    NotesStore(const QString& folder, const QString& recoveryFolder, std::unique_ptr<NotesFileSystem> fileSystem,
               QObject* parent = nullptr, Clock* clock = nullptr);
    ~NotesStore() override;

    const QString& text() const { return m_text; }
    // Replaces the whole text; a save follows when it changed.
    void setText(const QString& text);
    // An edit of the editor: removed characters at position give way to added.
    void replaceText(qsizetype position, qsizetype removed, const QString& added);

    // Writes the text now when it differs from the file. False when the
    // file could not be written; the text stays in memory, the banner says
    // why, and the store tries again.
    bool save();
    // The last save before the program ends: what cannot reach the notes file
    // goes to a recovery file. Safe to call from an exit handler.
    bool saveBeforeExit();

    bool hasUnsavedChanges() const { return m_dirty; }
    bool isSavePending() const { return m_saveTimer.isActive(); }
    // False for a note too big to edit, judged when it is loaded; it is
    // shown, never changed.
    bool isEditable() const { return m_editable; }

    QString filePath() const { return m_filePath; }
    QUrl fileUrl() const { return QUrl::fromLocalFile(m_filePath); }
    QString recoveryFolder() const { return m_recoveryFolder; }
    // Where the versions this store wrote are kept, newest last by name.
    QString historyFolder() const { return m_recoveryFolder + QStringLiteral("/history"); }
    static QString defaultRecoveryFolder();

    Notice notice() const;
    // Whether dismissNotice() puts the current notice away: a failed save, a
    // note too big to edit and bytes not yet moved aside stay until resolved.
    bool isNoticeDismissible() const;
    QString noticeText() const;
    // Puts away a notice that only informs; a failing save stays shown.
    void dismissNotice();
    // Whether undoOutsideChange() can bring back the text that was shown
    // before another program's version was loaded: nothing typed since.
    bool canUndoOutsideChange() const;
    void undoOutsideChange();

    QString saveError() const { return m_saveError; }
    // The copy that keeps an unreadable notes file's bytes, once made.
    QString keptUnreadableCopy() const { return m_keptCopy; }
    QString conflictCopy() const { return m_conflictCopy; }
    QString recoveredFile() const { return m_recoveredFile; }

signals:
    void textChanged(const QString& text);
    // After every write attempt.
    void saved(bool ok);
    void noticeChanged();

private:
    void load();
    bool adopt(const QByteArray& bytes);
    void changed();
    void judgeSize();
    void scheduleSave();
    void checkDisk();
    void watch();
    bool keepOutsideVersion(const QString& suffix, const QByteArray* bytes, QString* kept, QString* error,
                            bool* linked);
    // A name no file has yet: path + suffix, then -2, -3 and on; beside the
    // notes file unless beside is given.
    QString freeName(const QString& suffix, const QString& beside = {}) const;
    QString writeRecoveryFile();
    void keepInHistory(const QByteArray& bytes);
    void pruneHistory(const QString& newest);
    void findRecoveredFile();
    void setSaveError(const QString& error);

    std::unique_ptr<NotesFileSystem> m_fileSystem;
    QString m_text;
    QString m_filePath;
    QString m_recoveryFolder;
    NotesEncoding::LineEnds m_lineEnds;
    bool m_byteOrderMark = false;
    qsizetype m_longestLine = 0;
    bool m_editable = true;
    bool m_dirty = false;
    bool m_exiting = false;

    // The file as this store last read or wrote it, to tell other programs'
    // changes from our own.
    NotesFileSystem::Stamp m_diskStamp;
    size_t m_diskHash = 0;

    Clock* m_clock;
    ClockTimer m_saveTimer;
    ClockTimer m_retryTimer;
    ClockTimer m_checkTimer;
    // When the first edit not yet on disk was made, or -1.
    qint64 m_firstUnsavedEdit = -1;
    QFileSystemWatcher m_watcher;

    QString m_saveError;
    // The file on disk could not be read as text; it must be kept aside before
    // it is written over.
    bool m_fileUnreadable = false;
    QString m_readError;
    QString m_keptCopy;
    QString m_conflictCopy;
    QString m_recoveredFile;
    QString m_historyError;
    bool m_dismissed = false;
    // Another program's version was loaded over the text kept here.
    bool m_changedOutside = false;
    bool m_typedSinceOutsideChange = false;
    QString m_textBeforeOutsideChange;
};
