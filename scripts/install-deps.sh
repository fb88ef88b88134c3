#!/usr/bin/env bash
# Installs the Debian packages Velquor needs to build, test and run. rpcbind and
# PyVISA (python3-pyvisa-py) serve to try VXI-11 by hand and are not installed
# here: no test needs them.
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
  libavahi-client-dev avahi-daemon avahi-utils dbus-daemon
  libtirpc-dev rpcsvc-proto
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  # The tests start their own avahi-daemon on the loopback interface; the one the
  # package would start for the machine would announce it on the network. Services
  # are not started while installing (policy-rc.d), and avahi's are turned off.
  policy=/usr/sbin/policy-rc.d
  made_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    made_policy=1
    # Removed however the install ends.
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
  [ -z "$made_policy" ] || { $SUDO rm -f "$policy"; trap - EXIT; }
  if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now avahi-daemon.socket avahi-daemon.service >/dev/null 2>&1 || true
  fi
fi
# A comma-decimal locale, so the number formatting tests run for real.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
