#!/usr/bin/env bash
# Installs the Debian packages Pixamo needs to build, test and run; does nothing when all are there.
set -euo pipefail
packages=(
  cmake g++ make pkg-config clang-format
  zlib1g-dev libjpeg62-turbo-dev liblcms2-dev libpng-dev libtiff-dev
  # the codec libraries of WebP, AVIF (with dav1d), HEIF (with libde265) and JPEG XL
  libwebp-dev libavif-dev libheif-dev libjxl-dev
  # the metafile player: cairo, fontconfig, and fonts metric-compatible with Arial, Times New Roman
  # and Courier New
  libcairo2-dev libfontconfig-dev fonts-liberation2
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # independent decoders and encoders the tests compare with
  python3-pil imagemagick netpbm libtiff-tools libjpeg-turbo-progs
  # the encoders and decoders of those libraries
  webp libavif-bin libheif-examples libjxl-tools
  # running pixamo-cli under a job runner (tested), and the batch benchmark's other resizer
  parallel libvips-tools
  # an X server and a window manager: for looking at the window, and for the window tests
  # that need a real desktop's frames and work area (they skip without them)
  xvfb openbox
  # orientation tags, colour profiles and Little CMS's own converters for the photo tests
  libimage-exiftool-perl liblcms2-utils icc-profiles-free libgs-common
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
