#!/usr/bin/env bash
# Installs what is needed, builds, and starts the program. Without a meter
# attached it runs on the built-in simulated meter.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target velquor-cli
exec build/tools/cli/velquor-cli monitor --simulate "$@"
