#pragma once

#include <memory>

#include <QDBusContext>
#include <QLockFile>
#include <QObject>
#include <QStringList>

// One Quillnook per user. Two would each hold the notes in memory and write
// over each other's words, so a second start shows the running program's
// panel and leaves. The lock lives in the user's runtime folder, which is
// always writable; without one, in a private folder of the user's own in the
// system's temporary folder; and beside the preferences only where neither
// can be had.
class SingleInstance : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.quillnook.Quillnook")

public:
    static constexpr const char* ServiceName = "app.quillnook.Quillnook";
    static constexpr const char* ObjectPath = "/app/quillnook/Quillnook";

    explicit SingleInstance(const QString& lockFilePath, QObject* parent = nullptr);
    // The first of lockFilePaths where a lock can be made is the one used.
    explicit SingleInstance(const QStringList& lockFilePaths, QObject* parent = nullptr);

    // Where the lock may go, in the order tried: $XDG_RUNTIME_DIR, the
    // private temporary folder, fallbackFolder; each as .../quillnook.lock.
    static QStringList lockFilePaths(const QString& fallbackFolder);
    static QString lockFilePath(const QString& fallbackFolder) { return lockFilePaths(fallbackFolder).constFirst(); }
    // QDir::tempPath()/quillnook-UID, made when missing; empty unless it is
    // a real folder of this user's that nobody else may enter.
    static QString privateTemporaryFolder();

    // True when no other instance holds the lock; this one then holds it
    // until it ends.
    bool acquire();
    // The lock file held, once acquired.
    QString heldLockFile() const { return m_lock ? m_lock->fileName() : QString(); }
    // Offers ShowPanel() on the session bus, where there is one.
    void listen();
    // Asks the running instance to show its panel; false when it did not answer.
    static bool showRunningPanel();

    enum class ToggleResult
    {
        Toggled,
        NotRunning,
        NoSessionBus,
        Failed,
    };
    // Asks the running instance to show or hide its panel.
    static ToggleResult toggleRunningPanel(QString* error = nullptr);
    // A request older than this is dropped: the caller gave up waiting, and
    // a panel that turned up later would steal the focus from what the user
    // went on to do.
    static constexpr qint64 StaleRequestMs = 3000;
    // Milliseconds on the system-wide monotonic clock, comparable between
    // processes of one machine.
    static qint64 monotonicNowMs();

public slots:
    // Only these requests are offered; a caller of another user is refused.
    Q_SCRIPTABLE void ShowPanel();
    Q_SCRIPTABLE void TogglePanel();
    // Shows the panel unless the request, sent at sentAtMs on the monotonic
    // clock, waited too long to get here (this instance was stalled).
    Q_SCRIPTABLE void ShowPanelSentAt(qlonglong sentAtMs);

signals:
    void showPanelRequested();
    void togglePanelRequested();

private:
    bool callerIsThisUser();

    QStringList m_paths;
    std::unique_ptr<QLockFile> m_lock;
};
