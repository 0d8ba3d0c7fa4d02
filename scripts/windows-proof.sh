#!/usr/bin/env bash
# Proves the Windows installer as a technician would use it, under Wine on
# Xvfb: scripts/windows-proof.sh [BUILD]
# In a fresh Wine prefix it installs lk58-<version>-setup.exe silently for
# the current user, maps COM1 to tq36-sim's pseudo-terminal, starts the
# installed lk58.exe, picks COM1 from the port list, connects, loads, writes
# the name with Enter and saves a settings file; then runs the installed
# tq36ctl.exe (ports, ping, read, write, report, the last from a console
# through the PATH the installer set). It checks what reached the
# simulator, keeps screenshots in BUILD/proof/, uninstalls and checks that
# nothing is left in the install folder. BUILD defaults to build/windows;
# the Linux build with tq36-sim and the pty helper library is
# $LK58_LINUX_BUILD (default build/default).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build/windows}")
linux=$(realpath "${LK58_LINUX_BUILD:-build/default}")

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup=$build/lk58-$version-setup.exe
for f in "$setup" "$linux/sim/tq36-sim" "$linux/tests/wine/liblk58_tiocm.so"; do
    [ -e "$f" ] || { echo "windows-proof: $f is missing" >&2; exit 2; }
done
proof=$build/proof
rm -rf "$proof"
mkdir -p "$proof"
work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# Wine's wait for received data needs modem lines, which ptys lack.
export LD_PRELOAD=$linux/tests/wine/liblk58_tiocm.so
sim_pid=""
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "windows-proof: FAILED: $*" >&2; exit 1; }
step() { echo "--- $*"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
await() { # await CONDITION TENTHS
    for ((n = 0; n < $2; n++)); do eval "$1" && return 0; sleep 0.1; done
    return 1
}

step "fresh Wine prefix"
# Made as every Wine prefix of ours is, with the fonts Qt asks for.
LK58_WINEPREFIX=$WINEPREFIX scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1
# The Wine server's own notes (a dump when a port's line hangs up) go to a log.
wineserver -p 2>"$proof/wineserver.log" &

step "tq36-sim on COM1"
"$linux/sim/tq36-sim" --verbose --save "$work/block.txt" >"$work/sim.out" 2>"$proof/sim.log" &
sim_pid=$!
await '[ -s "$work/sim.out" ]' 50 || fail "tq36-sim gave no pseudo-terminal"
pty=$(head -n1 "$work/sim.out")
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$pty" /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w

step "install $(basename "$setup") for the current user, silently"
wine "$setup" /S /CurrentUser
user=$(wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
inst=$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/LK58
for f in lk58.exe tq36ctl.exe uninstall.exe Qt6Core.dll platforms/qwindows.dll; do
    [ -f "$inst/$f" ] || fail "the installer left no $f in $inst"
done
[ -f "$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/LK58 - TAVRIN.lnk" ] ||
    fail "no Start-menu shortcut 'LK58 - TAVRIN'"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\LK58' /v UninstallString >/dev/null 2>&1 ||
    fail "no uninstaller under Add/Remove Programs"
win_inst='C:\users\'$user'\AppData\Local\Programs\LK58'

step "the window: COM1 from the list, Connect, Load, the name written with Enter, saved to a file"
# The wineserver is warm from the install: the time to the window is the
# program's own start.
started=$(date +%s%N)
(cd "$inst" && exec wine "$win_inst\\lk58.exe") >"$proof/lk58.log" 2>&1 &
app=$!
wid=$(timeout 60 xdotool search --sync --onlyvisible --class lk58.exe | head -n1) || fail "no window of lk58.exe"
echo "lk58.exe window up in $(( ($(date +%s%N) - started) / 1000000 )) ms (warm wineserver; target under 2000 ms)"
sleep 2
eval "$(xdotool getwindowgeometry --shell "$wid")"
top=$((Y + HEIGHT - 463)) # the client area is 463 pixels high, below the menu
click() { xdotool mousemove $((X + $1)) $((top + $2)) click 1; sleep 0.4; }
click 265 218             # the port list's arrow
import -window root "$proof/1-ports.png"
click 200 235             # its first port: COM1 (Wine lists ports by name)
import -window root "$proof/2-com1.png"
click 328 219             # Connect
await 'grep -q "ping" "$proof/sim.log"' 50 || fail "Connect sent no ping to the simulator"
sleep 1.5
click 472 356             # Load data
await 'grep -qi "read" "$proof/sim.log"' 50 || fail "Load sent no read-all to the simulator"
sleep 1.5
click 456 20              # the name field
xdotool key ctrl+a
xdotool type --delay 50 "Wine proof"
xdotool key Return
await 'grep -q "write" "$proof/sim.log"' 50 ||
    fail "Enter in the name field wrote nothing to the simulator"
sleep 2
import -window root "$proof/3-written.png"
xdotool mousemove $((X + 15)) $((Y + (HEIGHT - 463) / 2)) click 1 # File
sleep 0.5
xdotool key Down Return   # "Save settings to file…", the first item offered while connected
sleep 2
import -window root "$proof/4-save-dialog.png"
xdotool key Home shift+End # the proposed name, replaced by a path of ours
xdotool type --delay 20 "$(winpath "$proof/window.json")"
xdotool key Return
await '[ -s "$proof/window.json" ]' 100 || fail "Save wrote no settings file"
import -window root "$proof/5-saved.png"
grep -q '"Wine proof"' "$proof/window.json" || fail "the saved file lacks the name written"
xdotool mousemove $((X + 15)) $((Y + (HEIGHT - 463) / 2)) click 1
sleep 0.5
xdotool key Up Return     # File > Exit
await '! kill -0 "$app" 2>/dev/null' 100 || fail "lk58.exe did not close from File > Exit"
app=""

step "tq36ctl.exe"
ctl() { (cd "$proof" && wine "$win_inst\\tq36ctl.exe" "$@" 2>&1 | tr -d '\r'); }
ctl ports | tee "$proof/ports.txt"
grep -qw COM1 "$proof/ports.txt" || fail "tq36ctl ports does not list COM1"
ctl ping COM1 || fail "tq36ctl ping COM1"
ctl read COM1 -o x.json || fail "tq36ctl read COM1 -o x.json"
grep -q '"Wine proof"' "$proof/x.json" || fail "read -o x.json lacks the name the window wrote"
sed -i 's/"Wine proof"/"Proof two"/' "$proof/x.json"
ctl write x.json COM1 || fail "tq36ctl write x.json COM1"
ctl report COM1 -o x.pdf || fail "tq36ctl report COM1 -o x.pdf"
pdftotext "$proof/x.pdf" - | grep -q 'Proof two' || fail "the report lacks the name tq36ctl wrote"
(cd "$proof" && wine cmd /c "tq36ctl ping COM1" 2>&1 | tr -d '\r') || fail "tq36ctl from a console through PATH"

step "uninstall"
wine "$win_inst\\uninstall.exe" /CurrentUser /S
await '[ ! -e "$inst" ]' 300 || fail "the uninstaller left $(find "$inst" | head -5)"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\LK58' >/dev/null 2>&1 &&
    fail "the uninstaller left its Add/Remove Programs entry"
echo "windows-proof: installed, used from the window and tq36ctl, uninstalled; screenshots in $proof"
