#!/usr/bin/env bash
# Installs what is needed, builds, and starts the program. Without a meter
# attached (or with --simulate) it runs on the built-in simulated meter.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target velquor velquor-cli velquor-meter-sim
args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  # No meter on the bus: use the simulated one.
  if ! build/tools/cli/velquor-cli list >/dev/null 2>&1 || [ -z "$(build/tools/cli/velquor-cli list 2>/dev/null)" ]; then
    args=(--simulate)
  fi
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. To run the program without one, use a virtual display:" >&2
  echo "  xvfb-run -s '-screen 0 1024x768x24' build/src/app/velquor ${args[*]}" >&2
  exit 1
fi
exec build/src/app/velquor "${args[@]}"
