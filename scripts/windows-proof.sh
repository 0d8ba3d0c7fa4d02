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
# nothing is left in the install folder. Then, for the current user and for
# all users: a PATH of over 1,400 characters kept byte for byte through an
# install, a second install and the uninstall, the Start-menu shortcut's
# working folder, Add/Remove Programs' EstimatedSize, and the finish page's
# Run offered after a per-user install only. BUILD defaults to build/windows;
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
# --- What the installer does to the machine, in each install mode ---------
# A PATH of over 1,400 characters, the user's and the machine's, is kept
# byte for byte: the install folder joins it once, a second install adds
# nothing, the uninstall takes exactly that folder away. The shortcut
# starts LK58 in its folder, and Add/Remove Programs knows the size.

# The Path value of a registry key as the registry holds it: type and bytes.
path_value() { # path_value KEY
    local f=$work/path.reg
    rm -f "$f"
    wine reg export "$1" "$(winpath "$f")" /y >/dev/null 2>&1 || { echo "no key"; return; }
    iconv -f UTF-16LE -t UTF-8 "$f" | tr -d '\r' | sed -e ':a' -e '/\\$/N; s/\\\n *//; ta' |
        sed -n 's/^"Path"=//Ip'
}
# A text as a REG_EXPAND_SZ value of that form.
expand_sz() {
    printf 'hex(2):%s\n' "$(printf '%s\0' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v |
        tr -s ' \n' ',' | sed 's/^,//; s/,$//')"
}
# Entries a technician's PC has: variables, spaces, an empty entry, letters
# that no ANSI code page holds with the rest, a folder with a trailing
# backslash; the system's own folders first, so that Wine still runs.
long_path() { # long_path PREFIX
    local p='C:\windows\system32;C:\windows;%SystemRoot%\System32\Wbem;;' i
    for ((i = 1; i <= 40; i++)); do p+="$1\\Vendor tools $i\\bin;"; done
    p+='C:\Users\Jiří Čapek\Nástroje\;%USERPROFILE%\.cargo\bin;C:\Program Files\Инструменты'
    printf '%s' "$p"
}
path_is() { # path_is KEY TEXT WHEN
    local got want
    got=$(path_value "$1")
    want=$(expand_sz "$2")
    [ "$got" = "$want" ] || fail "$1 Path $3 is not as it should be, byte for byte:
  want $(printf '%s' "$2" | head -c 300)...
  got  $(printf '%s' "$got" | head -c 300)..."
}

path_proof() { # path_proof MODE KEY STARTMENU FOLDER
    local mode=$1 key=$2 menu=$3 folder=$4 long unkey size files want lnk
    local unix=$WINEPREFIX/drive_c/${folder#C:\\}
    unix=${unix//\\//}
    long=$(long_path "C:\\$mode")
    [ "${#long}" -gt 1400 ] || fail "the proof's Path is only ${#long} characters"
    wine reg add "$key" /v Path /t REG_EXPAND_SZ /d "$long" /f >/dev/null 2>&1
    path_is "$key" "$long" "as set up"
    step "$mode: install with a Path of ${#long} characters"
    wine "$setup" /S /$mode
    [ -f "$unix/lk58-path.exe" ] || fail "$mode: no lk58-path.exe in $unix"
    path_is "$key" "$long;$folder" "after the install"
    step "$mode: install again"
    wine "$setup" /S /$mode
    path_is "$key" "$long;$folder" "after a second install"

    lnk="$menu/LK58 - TAVRIN.lnk"
    [ -f "$lnk" ] || fail "$mode: no shortcut $lnk"
    # The working folder is a counted UTF-16 string: its count may read as
    # one more character in front.
    strings -el "$lnk" >"$proof/shortcut-$mode.txt"
    FOLDER=$folder awk '$0 == ENVIRON["FOLDER"] || substr($0, 2) == ENVIRON["FOLDER"] { found = 1 }
        END { exit !found }' "$proof/shortcut-$mode.txt" ||
        fail "$mode: the shortcut does not start in $folder: $(tr '\n' ' ' <"$proof/shortcut-$mode.txt")"
    grep -q 'platforms$' "$proof/shortcut-$mode.txt" && fail "$mode: the shortcut starts in the platforms folder"

    unkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LK58'
    [ "$mode" = CurrentUser ] && unkey='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\LK58'
    size=$(wine reg query "$unkey" /v EstimatedSize 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_DWORD *0x\([0-9a-fA-F]*\).*/\1/p')
    [ -n "$size" ] || fail "$mode: no EstimatedSize under Add/Remove Programs"
    size=$((16#$size))
    files=$(find "$unix" -type f -printf '%s\n' | awk '{ s += $1 } END { print int(s / 1024) }')
    echo "EstimatedSize $size KiB; the installed files hold $files KiB"
    [ $((size - files)) -le 1 ] && [ $((files - size)) -le 1 ] ||
        fail "$mode: EstimatedSize $size KiB, but the installed files hold $files KiB"

    step "$mode: uninstall"
    wine "$folder\\uninstall.exe" /$mode /S
    await '[ ! -e "$unix" ]' 300 || fail "$mode: the uninstaller left $unix"
    path_is "$key" "$long" "after the uninstall"
}

appdata=$WINEPREFIX/drive_c/users/$user/AppData
path_proof CurrentUser 'HKCU\Environment' "$appdata/Roaming/Microsoft/Windows/Start Menu/Programs" "$win_inst"
path_proof AllUsers 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
    "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" 'C:\Program Files\LK58'

# The finish page offers to start LK58 after a per-user install only: after
# an install for all users the installer runs as administrator, and so
# would LK58. Enter on every page takes what is offered, Run included.
finish_proof() { # finish_proof MODE FOLDER STARTS
    local mode=$1 folder=$2 starts=$3 setup_pid wid started=""
    local unix=$WINEPREFIX/drive_c/${folder#C:\\}
    unix=${unix//\\//}
    step "$mode: install through the pages, Enter on each"
    wine "$setup" /$mode >/dev/null 2>&1 &
    setup_pid=$!
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name 'LK58 - TAVRIN' | head -n1) ||
        fail "$mode: no installer window"
    # Xvfb has no window manager: the installer is given the focus itself.
    enter() { xdotool windowfocus "$wid" 2>/dev/null || true; sleep 0.5; xdotool key Return; }
    sleep 2
    enter # the install mode
    sleep 2
    enter # the folder: Install
    await '[ -f "$unix/uninstall.exe" ]' 600 || fail "$mode: the installer installed nothing"
    sleep 4
    import -window root "$proof/finish-$mode.png"
    enter # Finish
    await '! kill -0 "$setup_pid" 2>/dev/null' 100 || fail "$mode: the installer did not finish"
    if started=$(timeout 20 xdotool search --sync --onlyvisible --class lk58.exe 2>/dev/null | head -n1); then
        kill "$(xdotool getwindowpid "$started")" 2>/dev/null || true
    fi
    case $starts in
    yes) [ -n "$started" ] || fail "$mode: Finish did not start LK58" ;;
    no) [ -z "$started" ] || fail "$mode: Finish started LK58 with the installer's administrator rights" ;;
    esac
    wine "$folder\\uninstall.exe" /$mode /S
    await '[ ! -e "$unix" ]' 300 || fail "$mode: the uninstaller left $unix"
}
finish_proof CurrentUser "$win_inst" yes
finish_proof AllUsers 'C:\Program Files\LK58' no
# The MSI as an IT department deploys it, in the same prefix: a package of a
# lower version installed silently for the machine, then one lower in the
# fourth field only over it, then this version (one entry under Add/Remove
# Programs all along, the lowest refused over it), the
# installed programs run (the window, tq36ctl through the machine's PATH),
# then removed: no file, shortcut, registry entry or PATH entry is left, and
# a machine PATH longer than 1,400 characters comes back whole.
msi_proof() {
    local msi=$build/lk58-$version-x64.msi
    local envkey='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
    local uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    local pf=$WINEPREFIX/drive_c/Program\ Files/LK58 win_pf='C:\Program Files\LK58'
    # Wine puts a package's shortcuts in the user's Start menu even for the
    # machine, where Windows puts them in every user's.
    local lnks=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/LK58 - TAVRIN.lnk"
                "$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/LK58 - TAVRIN.lnk")
    [ -f "$msi" ] || fail "$msi is missing"
    registry() { # every line of the machine's registry, sorted
        wine reg export HKLM "$work/hklm.reg" /y >/dev/null 2>&1
        iconv -f UTF-16LE -t UTF-8 "$work/hklm.reg" | tr -d '\r' | sort >"$1"
    }
    machine_path() { wine reg query "$envkey" /v PATH 2>/dev/null | tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//Ip'; }
    # Wine leaves the separator of a part it removes from a list (Windows
    # does not): the PATH's entries are compared, not its semicolons.
    path_entries() { tr ';' '\n' <<<"$1" | grep -v '^$' || true; }
    entries() { wine reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | grep -c 'DisplayName.*LK58 - TAVRIN' || true; }
    shortcuts() { local l n=0; for l in "${lnks[@]}"; do [ ! -e "$l" ] || n=$((n + 1)); done; echo $n; }
    packed() { # a GUID as the registry of Windows Installer spells it
        local g=${1//[\{\}-]/} out="" i
        out=$(rev <<<"${g:0:8}")$(rev <<<"${g:8:4}")$(rev <<<"${g:12:4}")
        for ((i = 16; i < 32; i += 2)); do out+=${g:i+1:1}${g:i:1}; done
        echo "$out"
    }

    step "MSI: a machine PATH of over 1,400 characters"
    local long
    # From the system's own folders: the installer's proof above leaves a
    # PATH with letters that `reg query` cannot show in this console.
    long='C:\windows\system32;C:\windows;C:\windows\system32\wbem'
    for ((n = 1; ${#long} <= 1400; n++)); do long+=";C:\\Tools\\proof-$n\\bin"; done
    wine reg add "$envkey" /v PATH /t REG_EXPAND_SZ /d "$long" /f >/dev/null 2>&1
    [ "$(machine_path)" = "$long" ] || fail "the long PATH could not be set"
    find "$WINEPREFIX/drive_c" | sort >"$work/files-before"
    registry "$work/registry-before"

    local lower a b c d n
    IFS=. read -r a b c d <<<"$version"
    if ((c > 0)); then lower=$a.$b.$((c - 1)).$d; elif ((b > 0)); then lower=$a.$((b - 1)).$c.$d; else lower=$((a - 1)).$b.$c.$d; fi
    local older=$work/lk58-$lower-x64.msi
    step "MSI: lk58-$lower-x64.msi (lower), then lk58-$version-x64.msi over it, silently"
    scripts/windows-msi.sh "$build/package/lk58-$version-win64" "$lower" "$older"
    wine msiexec /i "$(winpath "$older")" /qn || fail "msiexec /i $(basename "$older")"
    [ "$(entries)" = 1 ] || fail "the lower version made $(entries) Add/Remove Programs entries"
    # A release that differs in the fourth field only, which Windows
    # Installer does not compare, is an upgrade too.
    if ((d > 0)); then
        local fourth=$a.$b.$c.$((d - 1))
        scripts/windows-msi.sh "$build/package/lk58-$version-win64" "$fourth" "$work/lk58-$fourth-x64.msi"
        wine msiexec /i "$(winpath "$work/lk58-$fourth-x64.msi")" /qn || fail "msiexec /i lk58-$fourth-x64.msi"
        [ "$(entries)" = 1 ] || fail "$fourth over $lower left $(entries) Add/Remove Programs entries"
        lower+=" and $fourth"
    fi
    wine msiexec /i "$(winpath "$msi")" /qn || fail "msiexec /i $(basename "$msi") over $lower"
    [ "$(entries)" = 1 ] || fail "the upgrade left $(entries) Add/Remove Programs entries"
    wine reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | grep -q "DisplayVersion *REG_SZ *$version\$" ||
        fail "Add/Remove Programs does not show version $version"
    wine msiexec /i "$(winpath "$older")" /qn && fail "the lower version installed over $version"
    [ "$(entries)" = 1 ] || fail "the refused downgrade left $(entries) entries"
    wine reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | grep -q "DisplayVersion *REG_SZ *$version\$" ||
        fail "the refused downgrade changed the installed version"
    for f in lk58.exe tq36ctl.exe Qt6Core.dll platforms/qwindows.dll translations/qtbase_cs.qm; do
        [ -f "$pf/$f" ] || fail "the MSI left no $f in Program Files\\LK58"
    done
    [ "$(shortcuts)" = 1 ] || fail "the MSI made $(shortcuts) Start-menu shortcuts 'LK58 - TAVRIN'"
    # Add/Remove Programs shows an MSI's icon from its product registration.
    local icon
    icon=$(wine reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *ProductIcon *REG_SZ *C:/drive_c/p' | tr '\\' /)
    [ -n "$icon" ] && [ -s "$WINEPREFIX/$icon" ] || fail "Add/Remove Programs has no LK58 icon ($icon)"
    [ "$(path_entries "$(machine_path)")" = "$(path_entries "$long;$win_pf\\")" ] ||
        fail "the machine PATH after the upgrade is not the old one and the folder once: $(machine_path)"

    step "MSI: the installed programs"
    (cd "$pf" && exec wine "$win_pf\\lk58.exe") >"$proof/msi-lk58.log" 2>&1 &
    app=$!
    timeout 60 xdotool search --sync --onlyvisible --class lk58.exe >/dev/null || fail "no window of the MSI's lk58.exe"
    sleep 1
    import -window root "$proof/6-msi-window.png"
    # Qt's own texts in Czech too: the port box's context menu.
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$(xdotool search --onlyvisible --class lk58.exe | head -n1)")"
    xdotool mousemove $((X + 215)) $((Y + HEIGHT - 463 + 218)) click 3
    sleep 1
    import -window root "$proof/7-msi-czech-menu.png"
    xdotool key Escape
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null || true
    app=""
    # Wine hands a new process only about the first 1,000 characters of the
    # machine's PATH (Windows all of it), and its console finds nothing
    # along a PATH with an empty entry, which its msi leaves where it took
    # a folder out (the lower version's, in the upgrade): the console gets
    # the registry's PATH without empty entries, and must say it pinged.
    local console_path
    console_path=$(path_entries "$(machine_path)" | paste -sd';')
    printf '@set "PATH=%s"\r\n@tq36ctl ping COM1\r\n' "$console_path" >"$work/ping.cmd"
    (cd "$proof" && wine cmd /c "$(winpath "$work/ping.cmd")" 2>&1 | tr -d '\r') | tee "$work/ping.out"
    grep -q 'COM1: a converter answers' "$work/ping.out" ||
        fail "tq36ctl ping COM1 from a console through the machine's PATH"

    step "MSI: remove, silently"
    local product upgrade
    product=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
    upgrade=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')
    wine msiexec /x "$(winpath "$msi")" /qn || fail "msiexec /x $(basename "$msi")"
    [ ! -e "$pf" ] || fail "the removal left $(find "$pf" | head -5)"
    [ "$(shortcuts)" = 0 ] || fail "the removal left the Start-menu shortcut"
    [ "$(entries)" = 0 ] || fail "the removal left its Add/Remove Programs entry"
    [ "$(path_entries "$(machine_path)")" = "$(path_entries "$long")" ] ||
        fail "the removal did not give back the long PATH whole: $(machine_path)"
    # Windows Installer's own folder for its caches stays, empty.
    find "$WINEPREFIX/drive_c" | sort >"$work/files-after"
    local left
    left=$(comm -13 "$work/files-before" "$work/files-after" |
        grep -v -e '/drive_c/windows/Installer$' -e '/Temp$' -e '/Temp/' || true)
    [ -z "$left" ] || fail "the removal left files: $(head -5 <<<"$left")"
    registry "$work/registry-after"
    left=$(comm -13 "$work/registry-before" "$work/registry-after" |
        grep -i -e LK58 -e TAVRIN -e "${product//[\{\}]/}" -e "$(packed "$product")" \
            -e "${upgrade//[\{\}]/}" -e "$(packed "$upgrade")" || true)
    [ -z "$left" ] || fail "the removal left registry entries: $(head -5 <<<"$left")"
    echo "windows-proof: MSI $lower upgraded to $version in place (one entry), ${lower%% *} refused over it," \
        "removed without a trace; a PATH of ${#long} characters kept whole"
}
msi_proof

echo "windows-proof: installed, used from the window and tq36ctl, uninstalled; screenshots in $proof"
