#!/usr/bin/env bash
# Takes the pictures in docs/: the panel on the Notes tool, the settings
# page, the Files tool with Send to Chat and the find bar. Runs the built program on a private X server
# with a throwaway home.
# Usage: scripts/screenshots.sh [build-dir]   (default: build)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build=${1:-build}
[[ $build = /* ]] || build=$QUILLNOOK_ROOT/$build
binary=$build/src/quillnook
docs=$QUILLNOOK_ROOT/docs
[ -x "$binary" ] || { echo "No program at $binary: build it first" >&2; exit 1; }
command -v import >/dev/null || { echo "Needs ImageMagick's import: apt-get install imagemagick" >&2; exit 1; }

scratch=$(mktemp -d /tmp/quillnook-shots.XXXXXX)
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    stop_display
    rm -rf "$scratch"
}
trap cleanup EXIT

export HOME=$scratch/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
mkdir -p "$XDG_CONFIG_HOME" "$HOME/Documents"
echo 'XDG_DOCUMENTS_DIR="$HOME/Documents"' >"$XDG_CONFIG_HOME/user-dirs.dirs"
cat >"$HOME/Documents/Quillnook.txt" <<'NOTES'
Tuesday
- Call the printer shop about the poster proofs
- Move stand-up to 10:30
- Ask Mira for the venue floor plan

Ideas
Keep the onboarding to three screens: welcome, pick a folder, done.
A weekly digest of starred notes?

Groceries: oats, lemons, basil, coffee beans
NOTES
shelf=$HOME/Documents/QuillnookFiles
mkdir -p "$shelf/Poster drafts"
head -c 2400000 /dev/zero >"$shelf/Venue floor plan.pdf"
head -c 845000 /dev/zero >"$shelf/Keynote slides.pptx"
head -c 312000 /dev/zero >"$shelf/team-photo.jpg"
head -c 5200 /dev/zero >"$shelf/prompt ideas.md"
head -c 48000 /dev/zero >"$shelf/Budget 2027.xlsx"

start_display
export QT_QPA_PLATFORM=xcb
"$binary" >"$scratch/quillnook.log" 2>&1 &
app_pid=$!

panel=
for _ in $(seq 100); do
    panel=$(xdotool search --onlyvisible --name '^Quillnook$' 2>/dev/null | head -n1) && [ -n "$panel" ] && break
    sleep 0.1
done
[ -n "$panel" ] || { echo "The panel did not appear" >&2; cat "$scratch/quillnook.log" >&2; exit 1; }
sleep 1

# The panel's frame on the screen, as the window manager placed it.
eval "$(xdotool getwindowgeometry --shell "$panel")"
px=$X py=$Y pw=$WIDTH ph=$HEIGHT

mkdir -p "$docs"
import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$docs/panel-notes.png"

# The gear is the last control of the tab row, 10 px in from the right edge,
# on the same line as the window buttons.
xdotool mousemove $((px + pw - 10 - 12)) $((py + 28)) click 1
sleep 1
# The page hangs below the gear and may reach a little past the panel's
# right edge; take the panel and the strip of screen beside it.
read -r screen_w _ < <(xdotool getdisplaygeometry)
sw=$((screen_w - px < pw + 10 ? screen_w - px : pw + 10))
import -window root -crop "${sw}x${ph}+${px}+${py}" +repage "$docs/settings.png"
xdotool key Escape
sleep 0.5

# The Files tab is the last of the three tool tabs, just left of the gear.
xdotool mousemove $((px + pw - 92)) $((py + 28)) click 1
sleep 1
import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$docs/panel-files.png"

# Send to Chat: the paper plane on the chosen (first) row, its tooltip showing.
xdotool mousemove $((px + pw - 50)) $((py + 175))
sleep 2
import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$docs/send-to-chat.png"

# The find bar, over a page from a server on this machine only.
site=$scratch/site
mkdir -p "$site"
{
    echo '<!doctype html><title>Release notes</title><body style="font:15px sans-serif;margin:14px">'
    echo '<h2>Release notes</h2>'
    for n in 1 2 3 4 5 6; do
        echo "<p>Change $n: the panel keeps your draft while you switch tools, and the panel opens where you left it.</p>"
    done
} >"$site/notes.html"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
server_pid=$!
# The Browser is the middle tool tab.
xdotool mousemove $((px + pw - 160)) $((py + 28)) click 1
sleep 1
xdotool key ctrl+a type "http://127.0.0.1:$port/notes.html"
xdotool key Return
sleep 3
xdotool key ctrl+f
sleep 0.5
xdotool type "panel"
sleep 1.5
import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$docs/find-in-page.png"
kill "$server_pid" 2>/dev/null || true

echo "Wrote $docs/panel-notes.png, $docs/settings.png, $docs/panel-files.png, $docs/send-to-chat.png and $docs/find-in-page.png"
