#pragma once

#include <functional>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "platform/DesktopShortcutSetup.h"

// One custom keyboard shortcut in GNOME's own settings, named "Quillnook" and
// running `quillnook --toggle`: on GNOME's Wayland session the only way to a
// shortcut that works in every window. GNOME's settings daemon picks the
// entry up at once; the user sees, changes or removes it in GNOME Settings →
// Keyboard. Quillnook keeps to that one entry: it never adds a second and
// never touches the others. The settings are read and written through the
// `gsettings` tool, never waiting for it on the event loop.
class GnomeShortcutSetup : public DesktopShortcutSetup
{
    Q_OBJECT

public:
    static constexpr const char* Name = "Quillnook";
    static constexpr const char* Command = "quillnook --toggle";
    static constexpr const char* ListSchema = "org.gnome.settings-daemon.plugins.media-keys";
    static constexpr const char* EntrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
    // Where Quillnook keeps its entry when it makes one.
    static constexpr const char* EntryPath
        = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/quillnook/";

    // Looks at GNOME's settings at once when the environment names a GNOME
    // desktop (XDG_CURRENT_DESKTOP); otherwise stays Unavailable.
    explicit GnomeShortcutSetup(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                                QObject* parent = nullptr);
    ~GnomeShortcutSetup() override;

    State state() const override { return m_state; }
    QString errorText() const override { return m_error; }
    QString desktopName() const override { return QStringLiteral("GNOME"); }
    void setUp(std::uint16_t keyCode, std::uint32_t modifiers) override;
    void updateBinding(std::uint16_t keyCode, std::uint32_t modifiers) override;
    // The entry's combination as GNOME keeps it ("<Shift><Control>x").
    QString binding() const { return m_binding; }
    // The entry in use: Quillnook's own, or one the user made by hand for
    // the same command.
    QString entryPath() const { return m_entryPath; }

    // Reads GNOME's settings again.
    void refresh();
    // Adds the entry with this combination, or gives the existing one this
    // combination; SetUp when done, Failed when GNOME's settings refused.
    void setUpAccelerator(const QString& accelerator);
    // Gives an entry that is set up this combination; does nothing otherwise.
    void updateAccelerator(const QString& accelerator);

    // GSettings' text form of a list of paths, and back.
    static QStringList parsePathList(const QString& text);
    static QString pathListText(const QStringList& paths);

private:
    using Done = std::function<void(bool ok, const QString& output)>;
    void run(const QStringList& arguments, Done done);
    void findEntry(QStringList paths, int index);
    void writeEntry(const QString& accelerator, bool addToList);
    void setState(State state, const QString& error = {});
    static QString quoted(const QString& text);

    QProcessEnvironment m_environment;
    State m_state = State::Unavailable;
    QString m_error;
    QString m_binding;
    QString m_entryPath;
    // Bumped by every refresh and change, so an older answer is dropped.
    int m_generation = 0;
};
