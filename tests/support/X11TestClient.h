#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

// Another program on the X server of $DISPLAY, with a connection of its own
// (not the Qt application's): it holds key grabs, reads window properties
// and the keyboard's modifier state the way the rest of the desktop sees them.
class X11TestClient
{
public:
    // Core modifier bits, as in a key grab or an event's state.
    enum Modifier : std::uint16_t
    {
        ShiftBit = 0x01,
        LockBit = 0x02,
        ControlBit = 0x04,
        Mod1Bit = 0x08,
        Mod4Bit = 0x40,
    };

    X11TestClient();
    ~X11TestClient();
    X11TestClient(const X11TestClient&) = delete;
    X11TestClient& operator=(const X11TestClient&) = delete;

    bool isConnected() const;

    // A passive grab on the root window for exactly this modifier state;
    // false when the server refused it (another client holds it).
    bool grabKey(std::uint8_t keycode, std::uint16_t modifiers);
    void ungrabKey(std::uint8_t keycode, std::uint16_t modifiers);

    // Names of the atoms in an ATOM-list property, empty when it is unset.
    QStringList atomNames(std::uint32_t window, const QString& property);
    // The first value of a CARDINAL property.
    std::optional<std::uint32_t> cardinal(std::uint32_t window, const QString& property);
    bool isMapped(std::uint32_t window);
    // Maps a plain top-level window of this client placed in the window group
    // of `window`'s program (its WM_CLIENT_LEADER): to the window manager, a
    // second top-level of that program. 0 when the program names no leader.
    std::uint32_t mapWindowInGroupOf(std::uint32_t window);
    // The window group named in WM_HINTS, if it names one.
    std::optional<std::uint32_t> windowGroup(std::uint32_t window);
    bool hasProperty(std::uint32_t window, const QString& property);
    std::uint32_t rootWindow() const;
    std::uint32_t focusWindow();
    void sync();

    // Moves the keys of one modifier (e.g. Num Lock's) to another that has
    // none; false when the server refused or the target is taken.
    bool moveModifierKeys(std::uint16_t fromBit, std::uint16_t toBit);

    // The modifier and lock state the keyboard has now.
    std::uint16_t modifierState();

    // Makes a window of this client the CLIPBOARD's owner (serving no
    // requests); false when the server did not hand it over.
    bool takeClipboard();

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
};

namespace X11TestKeys {
// Key presses from outside the application, through XTEST: `xdotool key <keys>`.
bool press(const QString& keys);
bool keyDown(const QString& keys);
bool keyUp(const QString& keys);

// Turns a lock (Caps_Lock, Num_Lock) on for its lifetime and puts it back
// as it was afterwards.
class ScopedLock
{
public:
    ScopedLock(X11TestClient& client, QString keyName);
    ~ScopedLock();
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    // The modifier bit the lock lit, 0 when it could not be turned on.
    std::uint16_t bit() const { return m_bit; }

private:
    QString m_keyName;
    std::uint16_t m_bit = 0;
    bool m_toggled = false;
};
} // namespace X11TestKeys
