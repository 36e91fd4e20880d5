#!/usr/bin/env bash
# Installs the Debian packages Pixamo needs to build, test and run; does nothing when all are there.
set -euo pipefail
packages=(
  cmake g++ make pkg-config clang-format
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libwebp-dev libtiff-dev
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # independent decoders and encoders the tests compare with
  python3-pil imagemagick netpbm libtiff-tools libimage-exiftool-perl webp libjpeg-turbo-progs
  # a display for looking at the window
  xvfb
)
if [[ "${1:-}" == "--with-fuzz" ]]; then packages+=(clang libclang-rt-14-dev); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
