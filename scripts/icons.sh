#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG into dist/icons/:
# scripts/icons.sh. The PNGs are checked in, so that building needs no SVG
# renderer; run this again after changing src/app/icons/lk58.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || scripts/deps.sh package
mkdir -p dist/icons
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" -o "dist/icons/lk58-$size.png" src/app/icons/lk58.svg
done
