#pragma once

#include <optional>

#include <QProcessEnvironment>
#include <QString>

// What kind of desktop session Quillnook starts in, and what it must set up
// before either toolkit starts. On Wayland sessions the panel runs through
// XWayland: only an X11 client can place itself at the screen's edge, stay on
// top on every workspace and host the embedded web view.
class SessionEnvironment
{
public:
    explicit SessionEnvironment(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    bool isWaylandSession() const;
    // The desktop named in XDG_CURRENT_DESKTOP (a colon-separated list).
    bool isGnomeSession() const;
    bool isKdeSession() const;
    // The variables to set before the toolkits start (empty when none): the
    // X11 backends for Qt and GTK on Wayland sessions, unless the user chose.
    QProcessEnvironment toolkitOverrides() const;
    // One line for the user when Quillnook cannot start here; empty when it can.
    QString startupProblem() const;
    // True when the user forced Qt onto native Wayland: notes and files work,
    // the embedded browser does not.
    bool isNativeWayland() const;
    // The line the Browser tool shows instead of pages when it cannot work
    // here; empty when it can.
    QString browserProblem() const;

    // Applies toolkitOverrides() to this process.
    void applyToProcess() const;

    // Whether Qt's native Wayland platform plugin is installed here.
    static bool qtWaylandPluginInstalled();
    // The user forced Qt onto native Wayland, and its plugin is missing: the
    // one line to print. With an X display the process goes on through
    // XWayland (runThroughXWayland); without one it cannot start.
    struct MissingWaylandPlugin
    {
        QString message;
        bool canRunThroughXWayland;
    };
    std::optional<MissingWaylandPlugin> missingWaylandPlugin(bool pluginInstalled) const;
    // Points both toolkits at the X display for this process.
    static void runThroughXWayland();

private:
    QString qtPlatform() const;

    QProcessEnvironment m_environment;
};
