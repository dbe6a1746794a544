#pragma once

#include <QLockFile>
#include <QObject>

// One Quillnook per user. Two would each hold the notes in memory and write
// over each other's words, so a second start shows the running program's
// panel and leaves. The lock lives in the user's runtime folder, which is
// always writable, and beside the preferences only where there is none.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.quillnook.Quillnook")

public:
    static constexpr const char* ServiceName = "app.quillnook.Quillnook";
    static constexpr const char* ObjectPath = "/app/quillnook/Quillnook";

    explicit SingleInstance(const QString& lockFilePath, QObject* parent = nullptr);

    // $XDG_RUNTIME_DIR/quillnook.lock, or fallbackFolder/quillnook.lock
    // when there is no runtime folder.
    static QString lockFilePath(const QString& fallbackFolder);

    // True when no other instance holds the lock; this one then holds it
    // until it ends.
    bool acquire();
    // Offers ShowPanel() on the session bus, where there is one.
    void listen();
    // Asks the running instance to show its panel; false when it did not answer.
    static bool showRunningPanel();

public slots:
    Q_SCRIPTABLE void ShowPanel();

signals:
    void showPanelRequested();

private:
    QLockFile m_lock;
};
