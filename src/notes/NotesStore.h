#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

// The one notes text and its file. Loaded once, written half a second after
// the last edit, and at once whenever the application asks (losing focus,
// quitting). Writes replace the whole file atomically.
class NotesStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)

public:
    static constexpr int SaveDelayMs = 500;

    // folder: where "Quillnook.txt" lives; the temporary folder when empty.
    explicit NotesStore(const QString& folder, QObject* parent = nullptr);

    const QString& text() const { return m_text; }
    // Every write schedules a save, also one that changes nothing.
    void setText(const QString& text);

    // Writes the current text now. False when the file could not be written;
    // the text stays in memory and the next trigger tries again.
    bool save();

    QString filePath() const { return m_filePath; }
    QUrl fileUrl() const { return QUrl::fromLocalFile(m_filePath); }
    bool isSavePending() const { return m_saveTimer.isActive(); }

    // The copy that keeps an unreadable notes file's bytes, once made.
    QString keptUnreadableCopy() const { return m_keptCopy; }

signals:
    void textChanged(const QString& text);
    // After every write attempt.
    void saved(bool ok);

private:
    void load();
    void scheduleSave();
    bool keepUnreadableFile();

    QString m_text;
    QString m_filePath;
    QTimer m_saveTimer;
    // The file on disk could not be read as text; it must be kept aside before
    // it is written over.
    bool m_fileUnreadable = false;
    QString m_keptCopy;
};
