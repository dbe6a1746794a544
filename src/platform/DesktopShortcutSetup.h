#pragma once

#include <cstdint>

#include <QObject>
#include <QString>

// A shortcut kept in the desktop's own keyboard settings, running
// `quillnook --toggle`, for sessions where Quillnook cannot take a global
// shortcut itself. Made only when the user asks for it.
class DesktopShortcutSetup : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Checking, // the first look at the desktop's settings has not answered yet
        Unavailable, // this desktop keeps no such shortcuts we know of
        NotSetUp,
        SetUp,
        Failed, // the last change could not be written; see errorText()
    };

    using QObject::QObject;

    virtual State state() const = 0;
    virtual QString errorText() const = 0;
    // As the desktop calls itself: "GNOME".
    virtual QString desktopName() const = 0;
    // Makes the shortcut with this combination (`modifiers` as in a
    // HotkeyService registration), or gives the existing one this combination.
    virtual void setUp(std::uint16_t keyCode, std::uint32_t modifiers) = 0;
    // Gives a shortcut that is set up this combination; nothing otherwise.
    virtual void updateBinding(std::uint16_t keyCode, std::uint32_t modifiers) = 0;

signals:
    void stateChanged();
};
