#!/usr/bin/env bash
# Runs LK58 with its demo converter: scripts/run.sh
#
# Installs what is missing, builds and starts `lk58 --demo`: the window
# starts the simulated converter inside itself and connects to it, so no
# device path needs typing. Without a display, the window runs under Xvfb
# instead: the script saves a screenshot of the connected window, prints
# where it is and closes the window from File > Exit.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target lk58

work=$(mktemp -d "${TMPDIR:-/tmp}/lk58-run.XXXXXX")
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to $2 tenths of a second for the command $1 to succeed.
await() {
    for ((n = 0; n < $2; n++)); do
        eval "$1" && return 0
        sleep 0.1
    done
    return 1
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/default/src/app/lk58 --demo
    exit 0
fi

echo "No display: running the window under Xvfb."
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
await '[ -s "$work/display" ]' 100 || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

build/default/src/app/lk58 --demo >"$work/lk58.log" 2>&1 &
app=$!
pids+=($app)
wid=$(xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$wid")"
menu=$((HEIGHT - 463)) # the client area is 463 pixels high, below the menu
sleep 2 # the demo converter's ping, then the settings panel's first paint

shot="$root/build/default/lk58-connected.png"
import -window "$wid" "$shot"
echo "Screenshot of the connected window: $shot"

# File > Exit, the menu's last item, closes the window, which closes the port.
xdotool mousemove $((X + 15)) $((Y + menu / 2)) click 1
sleep 0.3
xdotool key Up Return
await '! kill -0 "$app" 2>/dev/null' 50 || echo "LK58 did not close from File > Exit." >&2
