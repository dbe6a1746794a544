#!/usr/bin/env bash
# desktop-session.sh SESSION COMMAND [ARGS…]
#
# Runs COMMAND inside a real desktop session started headless from Debian's
# own packages, with a home, runtime folder and session bus of its own, and
# exits with COMMAND's status. COMMAND finds the session in its environment:
# DISPLAY (and XAUTHORITY) for Quillnook, QUILLNOOK_SESSION naming the session.
#
# Sessions:
#   gnome-wayland  GNOME Shell on Wayland (--unsafe-mode, so org.gnome.Shell.Eval
#                  can press keys) with GNOME's media-keys daemon, which runs
#                  custom keyboard shortcuts; Quillnook runs through XWayland.
#   kwin-x11       KDE Plasma's KWin on Xvfb, with Plasma's global-shortcut
#                  service (kglobalaccel5) started on demand over D-Bus.
set -euo pipefail

session=${1:?session}
shift

if [ -z "${QUILLNOOK_SESSION_INSIDE:-}" ]; then
    # Everything the session writes (dconf, KDE's config) stays in a folder
    # of its own: the session bus hands these to the services it starts, so
    # they are set before the bus exists.
    root=$(mktemp -d /tmp/quillnook-session.XXXXXX)
    chmod 700 "$root"
    trap 'rm -rf "$root"' EXIT
    export XDG_RUNTIME_DIR=$root/runtime HOME=$root/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
    export XDG_STATE_HOME=$HOME/.local/state
    mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"
    unset DISPLAY XAUTHORITY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
    # The desktop runs `quillnook --toggle` from the PATH, as it would once
    # Quillnook is installed.
    if [ -n "${QUILLNOOK_BINARY:-}" ]; then PATH=$(dirname "$QUILLNOOK_BINARY"):$PATH; fi
    status=0
    QUILLNOOK_SESSION_INSIDE=1 dbus-run-session -- bash "$0" "$session" "$@" || status=$?
    exit $status
fi

PIDS=()
# The processes behind the session bus's connections: the services it started
# on demand as well as ours.
bus_pids() {
    local name
    for name in $(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.ListNames 2>/dev/null | grep -o "':[0-9.]*'" | tr -d "'"); do
        gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" 2>/dev/null | grep -o '[0-9]\+' | tail -1
    done | sort -u
}
stop_session() {
    local pid
    # Services started on demand would outlive the bus for a while and hold
    # the caller's output open.
    for pid in $(bus_pids); do [ "$pid" != $$ ] && kill "$pid" 2>/dev/null || true; done
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[$i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ -n "${XVFB_NUMBER:-}" ]; then rm -f "/tmp/.X$XVFB_NUMBER-lock" "/tmp/.X11-unix/X$XVFB_NUMBER"; fi
    return 0
}
trap stop_session EXIT

wait_for() { # wait_for SECONDS COMMAND…
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

shell_eval() {
    gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1"
}

bus_has() { gdbus call --session --dest "$1" --object-path / --method org.freedesktop.DBus.Peer.Ping; }

start_gnome_wayland() {
    export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
    # GNOME Shell asks the system bus for logind; a private one keeps it
    # from failing where the machine has none.
    dbus-daemon --config-file=/usr/share/dbus-1/session.conf --address="unix:path=$XDG_RUNTIME_DIR/system_bus" \
        --nofork --nopidfile >/dev/null 2>&1 &
    PIDS+=($!)
    wait_for 10 test -S "$XDG_RUNTIME_DIR/system_bus" || { echo "no private system bus" >&2; return 1; }
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/system_bus

    local wayland=quillnook-$$
    gnome-shell --headless --wayland --unsafe-mode --virtual-monitor 1440x900 --wayland-display="$wayland" \
        >"$XDG_RUNTIME_DIR/gnome-shell.log" 2>&1 &
    PIDS+=($!)
    wait_for 120 test -S "$XDG_RUNTIME_DIR/$wayland" || { echo "GNOME Shell did not start" >&2; return 1; }
    wait_for 120 bus_has org.gnome.Shell || { echo "GNOME Shell did not answer" >&2; return 1; }
    export WAYLAND_DISPLAY=$wayland
    # The shell starts XWayland itself and tells its own children where.
    local x11=
    wait_for 60 sh -c "gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval \"imports.gi.GLib.getenv('XAUTHORITY')\" | grep -q Xwaylandauth" \
        || { echo "GNOME Shell started no XWayland" >&2; return 1; }
    x11=$(shell_eval "imports.gi.GLib.getenv('DISPLAY') + ' ' + imports.gi.GLib.getenv('XAUTHORITY')")
    x11=${x11#*\"}
    x11=${x11%\"*}
    export DISPLAY=${x11%% *} XAUTHORITY=${x11#* }
    wait_for 60 xdpyinfo || { echo "XWayland did not answer on $DISPLAY" >&2; return 1; }

    # GNOME's custom keyboard shortcuts are run by its media-keys daemon.
    GDK_BACKEND=wayland /usr/libexec/gsd-media-keys >"$XDG_RUNTIME_DIR/gsd-media-keys.log" 2>&1 &
    PIDS+=($!)
    wait_for 60 bus_has org.gnome.SettingsDaemon.MediaKeys \
        || { echo "GNOME's media-keys daemon did not start" >&2; return 1; }
    # Out of the overview a GNOME login starts in, onto the plain desktop.
    shell_eval "Main.overview.hide()" >/dev/null
    wait_for 30 sh -c "gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval 'Main.overview.visible' | grep -q false"
}

start_kwin_x11() {
    export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 XDG_SESSION_TYPE=x11
    # The server takes the first free display number itself and writes it
    # out: sessions started side by side (ctest -j, other checkouts) never
    # pick the same one.
    local numberFile=$XDG_RUNTIME_DIR/display-number
    Xvfb -displayfd 3 -screen 0 1440x900x24 -nolisten tcp -noreset 3>"$numberFile" >/dev/null 2>&1 &
    PIDS+=($!)
    wait_for 20 grep -q '[0-9]' "$numberFile" || { echo "Xvfb did not start" >&2; return 1; }
    XVFB_NUMBER=$(tr -dc '0-9' <"$numberFile")
    export DISPLAY=":$XVFB_NUMBER"
    wait_for 20 xdpyinfo || { echo "Xvfb did not start" >&2; return 1; }
    # From the first key XTEST sends, the server takes its key map from XTEST's
    # keyboard in place of Xvfb's, and tells every program the map changed.
    # Plasma's shortcut service answers that by letting go of all its grabs
    # and taking them again, and a key sent meanwhile goes to the focused
    # window. One key now, before any program runs, makes that switch once
    # and for all, as a real keyboard in use since login would have.
    xdotool key shift || { echo "XTEST sent no key" >&2; return 1; }
    # Services started on demand (kglobalaccel5) need the display.
    dbus-update-activation-environment DISPLAY XDG_CURRENT_DESKTOP KDE_FULL_SESSION KDE_SESSION_VERSION
    kwin_x11 --replace >"$XDG_RUNTIME_DIR/kwin.log" 2>&1 &
    PIDS+=($!)
    wait_for 60 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' \
        || { echo "KWin did not start" >&2; return 1; }
}

case $session in
gnome-wayland) start_gnome_wayland ;;
kwin-x11) start_kwin_x11 ;;
*)
    echo "unknown session: $session (gnome-wayland, kwin-x11)" >&2
    exit 2
    ;;
esac
export QUILLNOOK_SESSION=$session

status=0
"$@" || status=$?
if [ $status -ne 0 ]; then
    for log in "$XDG_RUNTIME_DIR"/*.log; do
        [ -e "$log" ] || continue
        echo "--- last lines of $(basename "$log")"
        tail -n 15 "$log"
    done
fi
exit $status
