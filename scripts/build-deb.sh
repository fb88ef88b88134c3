#!/usr/bin/env bash
# Builds the Debian package velquor_<version>_<arch>.deb with Debian's own build flags.
# Usage: scripts/build-deb.sh [build-dir]   (the package is left in the build dir)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=${1:-build-deb}
# dpkg-buildflags gives the hardening flags Debian builds its packages with; the
# Release type adds -O3 -DNDEBUG after them. Warnings are errors: the optimiser finds
# some (format truncation) that no other build sees, and CI builds the programs at
# -O3 only here.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUOR_WERROR=ON \
  -DVELQUOR_BUILD_TESTS=OFF -DVELQUOR_BUILD_BENCH=OFF
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/velquor_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/velquor_*.deb
