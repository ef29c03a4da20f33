#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the console and the tests need.
# Quick when everything is already there.
set -euo pipefail
PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite qcoro-qt6-dev
  libgl-dev fonts-wqy-microhei qt6-charts-dev libqt6opengl6-dev
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  libmosquitto-dev mosquitto mosquitto-clients haproxy openssl
  qt6-httpserver-dev prometheus python3-jinja2
  dpkg-dev lintian desktop-file-utils appstream
  libgtest-dev libbenchmark-dev python3
  clang-14 libclang-rt-14-dev
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
