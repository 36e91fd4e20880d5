#!/usr/bin/env bash
# Whole-process saving speed of `pixamo-cli convert BIG.bmp OUT.ext` against the reference
# encoders on the same 3000x2000 picture: ImageMagick writing PNG and TIFF, cwebp writing WebP at
# the same quality (lossy and lossless), cjpeg for JPEG.
#   bench/save/run.sh [PIXAMO-CLI=build/src/cli/pixamo-cli] [RUNS=5]
# Builds nothing. Needs ImageMagick (convert), webp (cwebp), libjpeg-turbo-progs (cjpeg) and
# python3 (bench/formats/measure.py). Every command reads an uncompressed picture (our bitmap,
# the reference tools the same pixels as PPM), so the times are the encoders' plus a read that
# costs the same on both sides. Each command runs RUNS times, ours and the reference in turn;
# the best wall time and the best CPU time (user + system) are kept.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/bench/lib.sh"
cli="$(realpath "${1:-$root/build/src/cli/pixamo-cli}")"
runs="${2:-5}"
[[ -x "$cli" ]] || { echo "No pixamo-cli at $cli (build it first)" >&2; exit 1; }
for tool in cwebp cjpeg; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install webp libjpeg-turbo-progs)" >&2; exit 1; }
done

make_work savebench
width=3000 height=2000
echo "Making the ${width}x${height} picture in $work ..." >&2
# A plasma fractal with a fixed seed looks like a photograph's texture and compresses like one.
"$im" -seed 1 -size ${width}x${height} plasma:fractal -depth 8 -type TrueColor "ppm:$work/big.ppm"
"$im" "$work/big.ppm" -type TrueColor "bmp3:$work/big.bmp"

# name | our command | reference command | our output | reference output
cases=(
  "PNG, default level|$cli convert $work/big.bmp $work/ours.png|$im $work/big.ppm $work/ref.png|ours.png|ref.png"
  "PNG, both at zlib level 6|$cli convert $work/big.bmp $work/ours6.png|$im $work/big.ppm -quality 65 $work/ref6.png|ours6.png|ref6.png"
  "WebP, quality 95|$cli convert $work/big.bmp $work/ours.webp|cwebp -quiet -q 95 $work/big.ppm -o $work/ref.webp|ours.webp|ref.webp"
  "WebP, quality 75|$cli convert $work/big.bmp $work/ours75.webp --quality 75|cwebp -quiet -q 75 $work/big.ppm -o $work/ref75.webp|ours75.webp|ref75.webp"
  "WebP lossless, quality 95|$cli convert $work/big.bmp $work/oursl.webp --lossless|cwebp -quiet -lossless -q 95 $work/big.ppm -o $work/refl.webp|oursl.webp|refl.webp"
  "JPEG progressive, quality 95|$cli convert $work/big.bmp $work/ours.jpg|cjpeg -quality 95 -progressive -outfile $work/ref.jpg $work/big.ppm|ours.jpg|ref.jpg"
  "TIFF Deflate + predictor|$cli convert $work/big.bmp $work/ours.tif|$im $work/big.ppm -compress Zip -define tiff:predictor=2 $work/ref.tif|ours.tif|ref.tif"
  "bitmap (reading and writing only)|$cli convert $work/big.bmp $work/ours.bmp|$im $work/big.ppm bmp3:$work/ref.bmp|ours.bmp|ref.bmp"
)
for ((run = 1; run <= runs; ++run)); do
  echo "Run $run of $runs ..." >&2
  for c in "${cases[@]}"; do
    IFS='|' read -r name ours ref _ _ <<<"$c"
    # shellcheck disable=SC2086
    keep_best "ours-$name" "$(measure /dev/null $ours)"
    # shellcheck disable=SC2086
    keep_best "ref-$name" "$(measure /dev/null $ref)"
  done
done

echo
echo "| Saving | Pixamo ms (CPU) | reference ms (CPU) | CPU ratio | Pixamo file | reference file |"
echo "|---|---:|---:|---:|---:|---:|"
for c in "${cases[@]}"; do
  IFS='|' read -r name _ _ oursfile reffile <<<"$c"
  awk -v n="$name" -v ow="${best_wall[ours-$name]}" -v oc="${best_cpu[ours-$name]}" \
      -v rw="${best_wall[ref-$name]}" -v rc="${best_cpu[ref-$name]}" \
      -v os="$(stat -c %s "$work/$oursfile")" -v rs="$(stat -c %s "$work/$reffile")" \
    'BEGIN { printf "| %s | %.0f (%.0f) | %.0f (%.0f) | %.2f | %.2f MB | %.2f MB |\n", n, ow, oc, rw, rc, oc / rc, os / 1048576, rs / 1048576 }'
done
echo
echo "CPU ratio: Pixamo's CPU time over the reference's (below 1 is faster)."
