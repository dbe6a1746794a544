# Shared by scripts/run, scripts/test and bench/run. Sourced, not run.

QUILLNOOK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building needs, and what the tests and benchmarks need on top.
BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
    qt6-qpa-plugins libxcb1-dev libxcb-keysyms1-dev libgl-dev libxkbcommon-dev fonts-dejavu-core fonts-quicksand dbus)
TEST_PACKAGES=(ccache xvfb xauth openbox xdotool x11-utils dbus-x11 libxcb-xtest0-dev)
BUILD_PACKAGES+=(libwebkit2gtk-4.1-dev)  # the browser's and file preview's web engine, a module loaded at run time
BUILD_PACKAGES+=(libx11-dev)  # saving the notes before the toolkits end the process on a lost X connection
TEST_PACKAGES+=(x11-xserver-utils)  # xrandr: screens that change size while the panel is up
BUILD_PACKAGES+=(zlib1g-dev)  # the screenshot PNG, compressed in parallel parts
BUILD_PACKAGES+=(libxcb-xfixes0-dev)  # the clipboard's change count follows XFixes selection notifications
TEST_PACKAGES+=(xclip)  # another X client that reads and writes the clipboard
TEST_PACKAGES+=(kwin-x11)  # desktop_panel_kwin_x11 in the suite: the panel under KDE's window manager
TEST_PACKAGES+=(libkf5globalaccel-bin)  # desktop_shortcut_kwin_x11 and tst_kglobalaccel: Plasma's shortcut service

# Installs the Debian packages that are missing, through sudo when not root.
install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_quillnook DIR TYPE [cmake options...]
build_quillnook() {
    local dir=$1 type=$2
    shift 2
    local launcher=()
    # ccache, where present, makes rebuilds of unchanged files (and of other
    # checkouts beside this one) nearly free.
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$QUILLNOOK_ROOT")} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
    fi
    cmake -S "$QUILLNOOK_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# Starts Xvfb on a free display (QUILLNOOK_SCREEN_SIZE, default 1440x900x24)
# and openbox on it; exports DISPLAY. The
# caller's EXIT trap should call stop_display.
QUILLNOOK_DISPLAY_PIDS=()
start_display() {
    local n=${QUILLNOOK_DISPLAY_NUMBER:-90}
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${QUILLNOOK_SCREEN_SIZE:-1440x900x24}" -nolisten tcp -noreset >/dev/null 2>&1 &
    QUILLNOOK_DISPLAY_PIDS+=($!)
    export DISPLAY=":$n"
    local i
    for i in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start on $DISPLAY" >&2; return 1; }
    openbox --sm-disable >/dev/null 2>&1 &
    QUILLNOOK_DISPLAY_PIDS+=($!)
    for i in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/quillnook-runtime.XXXXXX)}
    chmod 700 "$XDG_RUNTIME_DIR"
}

stop_display() {
    local pid
    for pid in "${QUILLNOOK_DISPLAY_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
TEST_PACKAGES+=(desktop-file-utils)  # desktop-file-validate checks the installed desktop entry
BUILD_PACKAGES+=(dpkg-dev)  # dpkg-shlibdeps: the package's Depends come from the libraries it links
TEST_PACKAGES+=(lintian binutils)  # the package test runs lintian; objdump lists what the program links
TEST_PACKAGES+=(libglib2.0-bin gnome-settings-daemon-common)  # gsettings and GNOME's keyboard schema, for the GNOME shortcut tests
TEST_PACKAGES+=(libkf5globalaccel-bin)  # Plasma's global-shortcut service (kglobalaccel5), for the KDE shortcut test
TEST_PACKAGES+=(mutter)  # the suite's browser checks under mutter as the X11 window manager (GNOME on Xorg)
# scripts/test-desktops: the other real desktop sessions the browser is checked on.
DESKTOP_PACKAGES=(mutter gnome-shell xwayland kwin-x11 xfwm4 xfconf openbox)
TEST_PACKAGES+=(at-spi2-core orca)  # the accessibility bus, and the screen reader that reads the panel in a test
# scripts/test-shortcut-desktops: GNOME Shell on Wayland (with GNOME's media-keys
# daemon and zenity as another program's Wayland window), KWin on X11.
SHORTCUT_DESKTOP_PACKAGES=(gnome-shell gnome-settings-daemon xwayland zenity kwin-x11 libkf5globalaccel-bin
    at-spi2-core x11-utils xdotool)
