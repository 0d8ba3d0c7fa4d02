#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running LK58 need,
# but only those that are missing. Runs apt-get as root, or through sudo.
# scripts/deps.sh [fuzz] [package] [windows]: also what fuzzing (clang's
# libFuzzer), building and checking the Debian package, or cross-building for
# Windows and running that build under Wine needs.
set -euo pipefail

packages=(
    cmake ninja-build g++ ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libgl-dev qt6-translations-l10n
    fonts-liberation poppler-utils
    xvfb xauth imagemagick x11-utils xdotool
    hyperfine strace
)
for extra in "$@"; do
    case $extra in
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    package) packages+=(dpkg-dev file lintian appstream desktop-file-utils librsvg2-bin man-db) ;;
    windows) packages+=(g++-mingw-w64-x86-64-posix wine wine64 libwine nsis msitools wixl osslsigncode openssl) ;;
    *) echo "deps.sh: unknown set '$extra' (fuzz, package, windows)" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
