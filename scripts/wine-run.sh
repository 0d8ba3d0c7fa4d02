#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: scripts/wine-run.sh PROGRAM.exe [ARG]...
# CTest runs each Windows test through it. The Wine prefix is LK58's own
# ($LK58_WINEPREFIX, by default ~/.local/share/lk58/wine), made on first use
# with Qt's dialog and window fonts mapped to Liberation Sans (Wine has no
# Windows fonts). Qt's DLLs and the MinGW runtime are found through WINEPATH,
# so the program runs straight from the build folder. The program's exit
# status is this script's. LK58_WINE_HELD_OUTPUT=1 (the Windows test preset
# sets it) passes the output on through a file, as below.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARG]..." >&2; exit 2; }

export WINEPREFIX=${LK58_WINEPREFIX:-$HOME/.local/share/lk58/wine}
export WINEDEBUG=${LK58_WINEDEBUG:--all}
# No prompts to install Wine's Mono and Gecko: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
qt=${LK58_QT_WIN:-/opt/lk58/qt6-mingw-6.4.2}

# Z: is Wine's drive for the Unix root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

setup_prefix() {
    wine wineboot --init >/dev/null 2>&1
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    for font in "MS Shell Dlg" "MS Shell Dlg 2" "Arial"; do
        wine reg add "$key" /v "$font" /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
    done
    wineserver -w
    touch "$WINEPREFIX/.lk58-prefix"
}

if [ ! -f "$WINEPREFIX/.lk58-prefix" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Tests run side by side: one of them makes the prefix, the others wait.
    exec 9>"$WINEPREFIX.lock"
    flock 9
    [ -f "$WINEPREFIX/.lk58-prefix" ] || setup_prefix
    flock -u 9
    exec 9>&-
fi

dirs=("$qt/bin")
for dll in libstdc++-6.dll libwinpthread-1.dll; do
    dirs+=("$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")")")
done
path=""
for d in "${dirs[@]}"; do
    path+="${path:+;}$(windows_path "$d")"
done
export WINEPATH="$path${WINEPATH:+;$WINEPATH}"
# Wine hides the Unix QT_* variables from Windows programs (they would be
# for Linux's Qt) and hands WINEQT_* over as QT_* instead: pass the caller's
# on that way, such as the tests' QT_QPA_PLATFORM=offscreen.
for name in $(compgen -e); do
    case $name in
    QT_*) export "WINE$name=${!name}" ;;
    esac
done
# Wine 8 refuses the per-monitor DPI mode that Qt's windows platform asks
# for (SetProcessDpiAwarenessContext: invalid parameter) and has no
# EnableNonClientDpiScaling; Qt notes both on standard error and goes on,
# and the window opens all the same (as the installed program's does, run
# without this). Asking for no DPI mode keeps those notes out of the
# program's own output; at Wine's 96 dpi nothing else differs.
[ -n "${WINEQT_QPA_PLATFORM:-}" ] || export WINEQT_QPA_PLATFORM=windows:dpiawareness=0
# Without a console window Qt would send its messages, and Qt Test its
# results, to the debugger's channel, which nobody reads here.
export WINEQT_FORCE_STDERR_LOGGING=1
# Qt's plugins (platforms/qwindows.dll, qoffscreen.dll) beside its DLLs.
export WINEQT_PLUGIN_PATH=$(windows_path "$qt/plugins")
# The offscreen platform of the tests reads fonts from one folder, not from
# Windows: the Liberation fonts that the program asks for.
if [ -z "${QT_QPA_FONTDIR:-}" ] && fonts=$(fc-match -f '%{file}' 'Liberation Sans' 2>/dev/null); then
    export WINEQT_QPA_FONTDIR=$(windows_path "$(dirname "$fonts")")
fi

if [ -z "${LK58_WINE_HELD_OUTPUT:-}" ]; then
    exec wine "$@"
fi
# Wine's server and the programs it starts for itself (services, the
# desktop) outlive the program and keep the output they were born with: a
# test's output pipe would stay open after the test, and CTest would time
# it, and keep its slot, until the last Wine program of the run ended. So
# the output goes to a file, which is followed until the program ends.
held=$(mktemp "${TMPDIR:-/tmp}/lk58-wine.XXXXXX")
wine "$@" <&0 >"$held" 2>&1 &
program=$!
tail -n +1 -s 0.05 -f --pid="$program" "$held" &
follower=$!
status=0
wait "$program" || status=$?
wait "$follower" || true
rm -f "$held"
exit "$status"
