#!/usr/bin/env bash
# Builds LK58 for Windows (x86_64, MinGW-w64): lk58.exe and tq36ctl.exe in
# build/windows, against the Qt for Windows that scripts/windows-qt.sh builds
# once from Debian's own qt6-base source. Installs what is missing.
#   scripts/windows.sh          build
#   scripts/windows.sh --test   build, then run the Windows test suite under
#                               Wine (on Xvfb when there is no display); the
#                               tests that meet the simulated converter take
#                               tq36-sim from the Linux build, made first.
#   scripts/windows.sh --package   build, then pack lk58-<version>-win64.zip,
#                               lk58-<version>-setup.exe and
#                               lk58-<version>-x64.msi in build/windows
#                               (scripts/windows-package.sh); signed with
#                               LK58_SIGN_PKCS12=FILE.p12 and
#                               LK58_SIGN_PASSWORD_FILE=FILE (and
#                               LK58_SIGN_TIMESTAMP_URL), else unsigned
# Run a program with scripts/wine-run.sh build/windows/src/app/lk58.exe.
set -euo pipefail
cd "$(dirname "$0")/.."

test=0
package=0
for arg in "$@"; do
    case $arg in
    --test) test=1 ;;
    --package) package=1 ;;
    *) echo "usage: scripts/windows.sh [--test] [--package]" >&2; exit 2 ;;
    esac
done

scripts/deps.sh windows
scripts/windows-qt.sh

qt=${LK58_QT_WIN:-/opt/lk58/qt6-mingw-6.4.2}
configure=()
[ "$qt" != /opt/lk58/qt6-mingw-6.4.2 ] && configure+=("-DCMAKE_PREFIX_PATH=$qt")

if [ "$test" = 1 ]; then
    echo "=== Linux build (tq36-sim and the helpers of the Wine tests)"
    cmake --preset default >/dev/null
    cmake --build --preset default
fi

echo "=== Windows build"
cmake --preset windows "${configure[@]}" >/dev/null
cmake --build --preset windows
echo "Built: build/windows/src/app/lk58.exe build/windows/src/ctl/tq36ctl.exe"

[ "$package" = 1 ] && scripts/windows-package.sh build/windows
[ "$test" = 1 ] || exit 0
echo "=== Windows tests under Wine"
export LK58_LINUX_BUILD=${LK58_LINUX_BUILD:-$PWD/build/default}
if [ -n "${DISPLAY:-}" ]; then
    ctest --preset windows
else
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows
fi
