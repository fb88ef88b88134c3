#!/usr/bin/env bash
# Cross-builds velquor-cli.exe and velquor-meter-sim.exe for 64-bit Windows with
# Debian's MinGW-w64 (static runtime: the programs need no MinGW DLLs), with the
# Windows test programs, and packs the programs and a README into
# BUILD/velquor-VERSION-windows-x64.zip.
#   scripts/build-windows.sh [build-dir]      (default: build-windows)
# Extra CMake options may follow the folder, e.g. -DVELQUOR_BUILD_TESTS=OFF.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
shift || true

packages=(
  cmake ninja-build zip
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  libcli11-dev nlohmann-json3-dev libasio-dev googletest
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DVELQUOR_WERROR=ON -DVELQUOR_BUILD_GUI=OFF \
  -DVELQUOR_BUILD_BENCH=OFF "$@"
cmake --build "$build" -j "$(nproc)"

version=$(sed -n 's/^project(velquor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=velquor-$version-windows-x64
stage=$build/package/$name
rm -rf "$build/package" "$build/$name.zip"
mkdir -p "$stage"
for exe in tools/cli/velquor-cli.exe tools/meter_sim/velquor-meter-sim.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$build/$exe"
done
# Windows' Notepad and most editors want CR LF.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
(cd "$build/package" && zip -q -r "../$name.zip" "$name")
# The programs must not need a MinGW DLL on a machine without MinGW.
if x86_64-w64-mingw32-objdump -p "$stage"/*.exe | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
  echo "a program needs a MinGW DLL"; exit 1
fi
echo "$build/$name.zip"
