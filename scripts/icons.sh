#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG into dist/icons/, and
# the Windows icon (every size in one .ico) into dist/windows/lk58.ico:
# scripts/icons.sh. The PNGs are checked in, so that building needs no SVG
# renderer; run this again after changing src/app/icons/lk58.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || scripts/deps.sh package
mkdir -p dist/icons
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" -o "dist/icons/lk58-$size.png" src/app/icons/lk58.svg
done
# One .ico with every size, for the Windows executables and installer.
mkdir -p dist/windows
convert $(for size in 16 32 48 64 128 256; do echo "dist/icons/lk58-$size.png"; done) dist/windows/lk58.ico
