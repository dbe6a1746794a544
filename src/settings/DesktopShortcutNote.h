#pragma once

#include <QWidget>

class HotkeyManager;
class QLabel;
class QPushButton;

// Under the shortcut on the settings page: says where the shortcut does not
// work in every window and what makes it do so — a button that sets it up in
// the desktop's own keyboard settings (GNOME), or the command line to bind
// there by hand. Hidden where the shortcut is global already.
class DesktopShortcutNote : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* ToggleCommand = "quillnook --toggle";

    explicit DesktopShortcutNote(HotkeyManager& hotkeyManager, const QFont& captionFont, QWidget* parent = nullptr);

    QLabel* textLabel() const { return m_text; }
    QLabel* commandLabel() const { return m_command; }
    QPushButton* setUpButton() const { return m_setUp; }

private:
    void update();

    HotkeyManager& m_hotkeyManager;
    QLabel* m_text = nullptr;
    QLabel* m_command = nullptr;
    QPushButton* m_setUp = nullptr;
};
