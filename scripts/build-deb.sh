#!/usr/bin/env bash
# Builds the Debian package velquor_<version>_<arch>.deb with Debian's own build flags.
# Usage: scripts/build-deb.sh [build-dir]   (the package is left in the build dir)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=${1:-build-deb}
# dpkg-buildflags gives -O2 and the hardening flags Debian builds its packages with;
# the Release type then only adds -DNDEBUG.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DVELQUOR_BUILD_TESTS=OFF -DVELQUOR_BUILD_BENCH=OFF
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/velquor_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/velquor_*.deb
