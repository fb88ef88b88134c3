#!/usr/bin/env bash
# Installs what is needed, builds everything (warnings as errors) and runs every test.
# Usage: scripts/run-tests.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUOR_WERROR=ON "$@"
cmake --build "$dir" -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
