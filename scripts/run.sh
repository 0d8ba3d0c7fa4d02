#!/usr/bin/env bash
# Runs LK58 against the simulated converter: scripts/run.sh
#
# Installs what is missing, builds, starts tq36-sim on a pseudo-terminal,
# prints the device path to type into the port box and starts lk58; closing
# the window stops the simulator. Without a display, the window runs under
# Xvfb instead: the script types the path and presses Connect as a user
# would, saves a screenshot of the connected window and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target lk58 tq36-sim

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

build/default/sim/tq36-sim --verbose >"$work/sim.out" 2>"$work/sim.log" &
pids+=($!)
await '[ -s "$work/sim.out" ]' 50 || { echo "tq36-sim did not start:" >&2; cat "$work/sim.log" >&2; exit 1; }
port=$(head -n 1 "$work/sim.out")
echo "Simulated TQ36 converter on: $port"
echo "Type this path into the port box of LK58 and press the Connect button."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/default/src/app/lk58
    exit 0
fi

echo "No display: running the window under Xvfb."
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
await '[ -s "$work/display" ]' 100 || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

build/default/src/app/lk58 >"$work/lk58.log" 2>&1 &
app=$!
pids+=($app)
wid=$(xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$wid")"
menu=$((HEIGHT - 463)) # the client area is 463 pixels high, below the menu

# The port box, then the Connect button, at their places in the client area.
xdotool mousemove $((X + 176 + 30)) $((Y + menu + 208 + 10)) click 1
xdotool windowfocus --sync "$wid"
xdotool mousemove $((X + 176 + 30)) $((Y + menu + 208 + 10)) click 1
xdotool type --delay 30 "$port"
xdotool mousemove $((X + 288 + 40)) $((Y + menu + 208 + 11)) click 1
if ! await 'grep -q "ping" "$work/sim.log"' 50; then
    echo "LK58 sent no ping to the simulator." >&2
    cat "$work/lk58.log" >&2
    exit 1
fi
sleep 1 # the reply, then the settings panel's first paint

shot="$root/build/default/lk58-connected.png"
import -window "$wid" "$shot"
echo "Screenshot of the connected window: $shot"

# File > Exit closes the window, which closes the port.
xdotool mousemove $((X + 15)) $((Y + menu / 2)) click 1
sleep 0.3
xdotool mousemove $((X + 30)) $((Y + menu + 12)) click 1
await '! kill -0 "$app" 2>/dev/null' 50 || echo "LK58 did not close from File > Exit." >&2
