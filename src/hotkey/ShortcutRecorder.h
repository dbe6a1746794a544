#pragma once

#include <cstdint>
#include <optional>

#include <QObject>

class HotkeyManager;
class QKeyEvent;

// Waits for the next key combination typed into any of Quillnook's windows
// and makes it the panel's toggle shortcut. While recording, an
// application-wide event filter consumes every key press, so no other widget
// and no application shortcut sees it.
class ShortcutRecorder : public QObject
{
    Q_OBJECT

public:
    explicit ShortcutRecorder(HotkeyManager& hotkeyManager, QObject* parent = nullptr);
    ~ShortcutRecorder() override;

    bool isRecording() const { return m_recording; }
    bool hasMonitor() const { return m_monitorInstalled; }

    // Starts (or restarts) recording; at most one filter is ever installed.
    void startRecording();
    // Ends recording without changing the shortcut.
    void stopRecording();
    void removeMonitor();

    // The modifier flags of a key event, in the stored form (ModifierFlags).
    // Caps Lock comes from the native state because Qt reports no modifier
    // for it.
    static std::uint64_t modifierFlags(const QKeyEvent& event);
    // The key position of a key event, from its X11/xkb keycode.
    static std::optional<std::uint16_t> keyCode(const QKeyEvent& event);
    // Ctrl, Shift, Alt, Super and the lock keys: on Linux pressing one alone
    // sends a key press, which must not end recording.
    static bool isModifierKey(const QKeyEvent& event);

signals:
    void recordingChanged(bool recording);
    // A combination was refused, for want of Ctrl, Alt or Super or because
    // the key has no position; recording goes on.
    void shortcutRejected(bool needsModifier);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setRecording(bool recording);
    void handleKeyPress(const QKeyEvent& event);
    void reject(bool needsModifier);

    HotkeyManager& m_hotkeyManager;
    bool m_recording = false;
    bool m_monitorInstalled = false;
};
