#pragma once

#include <cstdint>
#include <utility>

#include <QColor>
#include <QIcon>
#include <QList>
#include <QUrl>
#include <QWidget>

#include "hotkey/ShortcutRecorder.h"

class HotkeyManager;
class PanelSettings;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class ScreenshotGuide;

// The panel's settings and help page: records a new toggle shortcut, sets the
// panel's transparency, explains the screenshot shortcut and links to support.
// Leaving the page (hiding or destroying it) ends a recording in progress.
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    // Between the page's elements.
    static constexpr int Spacing = 10;

    SettingsView(HotkeyManager& hotkeyManager, PanelSettings& panelSettings, QWidget* parent = nullptr);
    ~SettingsView() override;

    // Symbol form, Super-Alt-Shift-Ctrl order, no separators: "⇧⌘X" (Ctrl+Shift+X).
    static QString describe(std::uint16_t keyCode, std::uint64_t modifiers);
    // The same combination as Linux desktops write it: "Ctrl+Shift+X".
    static QString describeNative(std::uint16_t keyCode, std::uint64_t modifiers);
    // The opacity as a whole percentage, truncated: 0.57 gives "56%".
    static QString percentText(double opacity);
    static const QUrl& supportMailtoURL();
    // "camera.viewfinder", "circle.lefthalf.filled", "envelope" or
    // "gearshape.fill": the desktop theme's icon where it has one, otherwise
    // one drawn in the given colour.
    static QIcon symbolIcon(const QString& symbolName, const QColor& colour);

    bool isRecording() const { return m_recorder.isRecording(); }
    bool hasMonitor() const { return m_recorder.hasMonitor(); }
    void startRecording();
    void removeMonitor();

signals:
    void recordingChanged(bool recording);
    void shortcutRejected();

protected:
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildPage();
    QLabel* iconLabel(const QString& symbolName);
    QPushButton* pushButton(const QString& text);
    QFont scaledFont(double points) const;
    void applyColours();
    void updateShortcut();
    void updateOpacity();
    void holdKeyboard(bool hold);

    HotkeyManager& m_hotkeyManager;
    PanelSettings& m_panelSettings;
    ShortcutRecorder m_recorder;

    QScrollArea* m_scrollArea = nullptr;
    QWidget* m_page = nullptr;
    QPushButton* m_shortcutButton = nullptr;
    QLabel* m_shortcutCaption = nullptr;
    QLabel* m_keyBadge = nullptr;
    ScreenshotGuide* m_screenshotGuide = nullptr;
    QSlider* m_opacitySlider = nullptr;
    QLabel* m_opacityLabel = nullptr;
    QList<std::pair<QLabel*, QString>> m_iconLabels;
    // Why the last key pressed while recording was refused.
    enum class Rejection
    {
        None,
        NeedsModifier,
        UnknownKey
    };
    Rejection m_rejection = Rejection::None;
};
