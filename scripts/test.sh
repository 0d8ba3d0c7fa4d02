#!/usr/bin/env bash
# Builds LK58 and runs its tests: scripts/test.sh [preset...]
# Presets: default (the normal build), asan (AddressSanitizer + UBSan), tsan (ThreadSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(default)
for p in "${presets[@]}"; do
    echo "=== preset $p"
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p"
    ctest --preset "$p"
done
