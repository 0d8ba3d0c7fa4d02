#!/usr/bin/env bash
# Builds Qt for Windows (x86_64, MinGW-w64) from Debian's own qt6-base source,
# the same Qt 6.4.2 that the Linux build uses, into $LK58_QT_WIN (default
# /opt/lk58/qt6-mingw-6.4.2). Does nothing when that prefix already carries
# the stamp of this very recipe; a changed recipe rebuilds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=${LK58_QT_WIN:-/opt/lk58/qt6-mingw-6.4.2}
work=${LK58_QT_WIN_WORK:-/opt/lk58/qt6-mingw-build}

features=(
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF -DFEATURE_icu=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_zstd=OFF -DFEATURE_pkg_config=OFF
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON
    # Debian's repack drops src/3rdparty/wintab; direct2d stays on (off breaks qwindows.dll's link)
    -DFEATURE_tabletevent=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_md4c=OFF
    -DFEATURE_system_libb2=OFF -DFEATURE_system_textmarkdownreader=OFF
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_SHARED_LIBS=ON
)
# The stamp: the recipe (the feature list, the toolchain file, the Qt version),
# so that a changed recipe rebuilds and an unchanged one is reused.
stamp=$( (printf '%s\n' "${features[@]}" 6.4.2; cat cmake/mingw-w64-x86_64.cmake) | sha256sum | cut -c1-16)
if [ -f "$prefix/lk58-recipe.stamp" ] && [ "$(cat "$prefix/lk58-recipe.stamp")" = "$stamp" ]; then
    echo "Qt for Windows is built: $prefix"
    exit 0
fi

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
need=(g++-mingw-w64-x86-64-posix dpkg-dev cmake ninja-build qt6-base-dev qt6-base-dev-tools qt6-base-private-dev)
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Debian's source packages need a deb-src entry; add one of our own if there is none.
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    "${as_root[@]}" tee /etc/apt/sources.list.d/lk58-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    fresh=1
fi
if [ ${#missing[@]} -gt 0 ] || [ -n "${fresh:-}" ]; then
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
fi
[ ${#missing[@]} -gt 0 ] &&
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

"${as_root[@]}" mkdir -p "$work" "$(dirname "$prefix")"
"${as_root[@]}" chown "$(id -u):$(id -g)" "$work" "$(dirname "$prefix")"
cd "$work"
src=qtbase-src
if [ ! -d "$src" ]; then
    apt-get source --download-only qt6-base
    dpkg-source --no-check -x qt6-base_*.dsc "$src"
fi
# An interrupted or older build is taken up again: Ninja rebuilds what the
# recipe changed.
rm -rf "$prefix"
mkdir -p build
cd build
cmake -G Ninja "$work/$src" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    "${features[@]}"
cmake --build . --parallel "$(nproc)"
cmake --install .
# Qt is LGPL: its licence texts travel with the built prefix.
mkdir -p "$prefix/licenses"
cp "$work/$src"/LICENSES/* "$prefix/licenses/" 2>/dev/null || cp "$work/$src"/LICENSE* "$prefix/licenses/"
echo "$stamp" >"$prefix/lk58-recipe.stamp"
echo "Qt for Windows is built: $prefix"
