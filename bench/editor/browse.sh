#!/usr/bin/env bash
# Makes a folder of 12-megapixel JPEG photos with ImageMagick (kept in the build folder for
# later runs) and steps through it in the window with browse_bench.
# Usage: bench/editor/browse.sh [build-dir] [PAUSE_MS ...]   (default: build; pauses 500 and 0)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
shift || true

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target browse_bench >/dev/null

photos="$build/bench/editor/photos"
if [ ! -f "$photos/photo12.jpg" ]; then
  mkdir -p "$photos"
  # Three different photos, each under four names: smooth shapes with fine grain, which JPEG
  # codes at about 3 MB, like a camera's picture. Names in natural order photo1 .. photo12.
  for seed in 1 2 3; do
    convert -seed "$seed" -size 1000x750 plasma:fractal -resize '4000x3000!' -attenuate 0.4 +noise Gaussian \
      -quality 90 -sampling-factor 2x2 "$photos/source$seed.jpg"
  done
  for i in $(seq 1 12); do
    cp "$photos/source$(( (i - 1) % 3 + 1 )).jpg" "$photos/photo$i.jpg"
  done
  rm "$photos"/source*.jpg
fi

QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$build/bench/editor/browse_bench" "$photos" "$@"
