#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG into dist/icons/,
# and the Windows icon src/app/icons/lk58.ico from them: scripts/icons.sh.
# They are checked in, so that building needs no SVG renderer; run this
# again after changing src/app/icons/lk58.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || scripts/deps.sh package
mkdir -p dist/icons
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" -o "dist/icons/lk58-$size.png" src/app/icons/lk58.svg
done
# lk58.exe's icon: the sizes Windows shows in Explorer and on the task bar.
convert dist/icons/lk58-{16,32,48,256}.png src/app/icons/lk58.ico
