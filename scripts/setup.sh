#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config git
  libusb-1.0-0-dev libftdi1-dev liblzma-dev libjpeg62-turbo-dev libasound2-dev
  qt6-base-dev libgl-dev nlohmann-json3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-utils x11-apps netpbm libx11-dev libyuv-dev libgl1-mesa-dri
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
