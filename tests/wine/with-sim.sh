#!/usr/bin/env bash
# Runs a program of the Windows build under Wine against the Linux tq36-sim,
# reached through a Wine COM port:
#   tests/wine/with-sim.sh PROGRAM.exe [ARG]...
# Starts tq36-sim (options from $LK58_SIM_ARGS, by default --no-pacing) on
# a pseudo-terminal, maps COM<10+pty number> to it in Wine (the registry's
# Ports key and the dosdevices link, so that a Wine started now or already
# running sees it), and runs the program through scripts/wine-run.sh with
# the pty helper library preloaded and these variables set:
#   LK58_TEST_COM     the port's name, such as COM13
#   LK58_TEST_HANGUP  a file: once the program creates it, the simulator is
#                     stopped (the line hangs up, as a pulled adapter's does)
# Then stops the simulator and removes the mapping. The Linux build with
# tq36-sim and the library is $LK58_LINUX_BUILD (default build/default).
# The program's exit status is this script's.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARG]..." >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
linux=${LK58_LINUX_BUILD:-$source_dir/build/default}
sim=$linux/sim/tq36-sim
preload=$linux/tests/wine/liblk58_tiocm.so
for f in "$sim" "$preload"; do
    [ -e "$f" ] || { echo "$0: $f is missing: build the Linux preset first" >&2; exit 2; }
done
export WINEPREFIX=${LK58_WINEPREFIX:-$HOME/.local/share/lk58/wine}
export WINEDEBUG=${LK58_WINEDEBUG:--all}

work=$(mktemp -d)
sim_pid=""
port=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    if [ -n "$port" ]; then
        rm -f "$WINEPREFIX/dosdevices/${port,,}"
        wine reg delete 'HKLM\Software\Wine\Ports' /v "$port" /f >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck disable=SC2086 # the options are words
"$sim" ${LK58_SIM_ARGS---no-pacing} >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
    [ -s "$work/sim.out" ] && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.err" >&2; exit 1; }
    sleep 0.05
done
pty=$(head -n1 "$work/sim.out")
case $pty in
/dev/pts/[0-9]*) ;;
*) echo "$0: tq36-sim gave no pseudo-terminal" >&2; exit 1 ;;
esac
# Ptys in use have different numbers, so tests running side by side never
# share a port; 10 and above also proves names that need the \\.\ prefix.
port=COM$((10 + ${pty#/dev/pts/}))

# A prefix not made yet is made by wine-run.sh (with its fonts) first.
[ -f "$WINEPREFIX/.lk58-prefix" ] || "$source_dir/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ /d "$pty" /f >/dev/null 2>&1
mkdir -p "$WINEPREFIX/dosdevices"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/${port,,}"

hangup=$work/hangup
(while [ ! -e "$hangup" ] && kill -0 "$sim_pid" 2>/dev/null; do sleep 0.1; done
 kill "$sim_pid" 2>/dev/null || true) &
watcher=$!

status=0
LK58_TEST_COM=$port LK58_TEST_HANGUP=$(printf 'Z:%s' "${hangup//\//\\}") LD_PRELOAD=$preload \
    "$source_dir/scripts/wine-run.sh" "$@" || status=$?
kill "$watcher" 2>/dev/null || true
exit $status
