#!/usr/bin/env bash
# Installs the Debian packages Velquor needs to build, test and run.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2
  clang libclang-rt-14-dev
  xvfb imagemagick poppler-utils python3
  locales
  libcli11-dev nlohmann-json3-dev libasio-dev libcpp-httplib-dev libpaho-mqtt-dev libssl-dev openssl mosquitto mosquitto-clients python3 xdotool x11-utils
  dpkg-dev desktop-file-utils appstream groff-base
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
# A comma-decimal locale, so the number formatting tests run for real.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
