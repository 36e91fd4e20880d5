#!/usr/bin/env bash
# Whole-process decoding speed and peak memory of `pixamo-cli convert BIG.ext out.bmp` for the
# formats read through their codec libraries, against each library's own command-line decoder on
# the same 4000x3000 (12-megapixel) picture, in turn in the same run:
#   WebP: dwebp -mt writing PPM        AVIF: avifdec -j all writing PNG without compression
#   HEIF: heif-convert writing PNG     JPEG XL: djxl writing PPM
#   bench/formats/codecs.sh [PIXAMO-CLI=build/src/cli/pixamo-cli] [RUNS=3]
# Builds nothing. Needs ImageMagick (convert), the encoders and decoders of the packages webp,
# libavif-bin, libheif-examples and libjxl-tools, and python3 (measure.py). The files go to
# /dev/shm (to /tmp where that is missing), so writing the outputs (about 36 MB each) costs no
# disk time. Each command runs RUNS times, ours and the native one in turn; the best wall time,
# the best CPU time (user + system) and the highest peak memory are kept.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/bench/lib.sh"
cli="$(realpath "${1:-$root/build/src/cli/pixamo-cli}")"
runs="${2:-3}"
[[ -x "$cli" ]] || { echo "No pixamo-cli at $cli (build it first)" >&2; exit 1; }
for tool in cwebp dwebp avifenc avifdec heif-enc heif-convert cjxl djxl; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install webp libavif-bin libheif-examples libjxl-tools)" >&2; exit 1; }
done

make_work codecbench
width=4000 height=3000

echo "Making and encoding the ${width}x${height} picture in $work ..." >&2
# A plasma fractal with a fixed seed looks like a photograph's texture and compresses like one.
"$im" -seed 1 -size ${width}x${height} plasma:fractal -depth 8 -type TrueColor -strip "$work/source.png"
cwebp -quiet -q 85 "$work/source.png" -o "$work/big.webp"
cwebp -quiet -lossless -z 3 "$work/source.png" -o "$work/big-lossless.webp"
avifenc -s 8 -j all "$work/source.png" "$work/big.avif" >/dev/null
heif-enc -q 85 "$work/source.png" -o "$work/big.heic" >/dev/null
cjxl -d 1 "$work/source.png" "$work/big.jxl" >/dev/null 2>&1
cjxl -d 0 -e 3 "$work/source.png" "$work/big-lossless.jxl" >/dev/null 2>&1

cases=(webp lossless-webp avif heic jxl lossless-jxl)
declare -A file=([webp]=big.webp [lossless-webp]=big-lossless.webp [avif]=big.avif [heic]=big.heic
                 [jxl]=big.jxl [lossless-jxl]=big-lossless.jxl)
native() {  # case
  local f="$work/${file[$1]}"
  case $1 in
    *webp) echo dwebp -quiet -mt "$f" -ppm -o "$work/native.ppm" ;;
    avif) echo avifdec -j all -d 8 --png-compress 0 "$f" "$work/native.png" ;;
    heic) echo heif-convert --quiet "$f" "$work/native.png" ;;
    *jxl) echo djxl "$f" "$work/native.ppm" ;;
  esac
}

for ((run = 1; run <= runs; ++run)); do
  echo "Run $run of $runs ..." >&2
  for c in "${cases[@]}"; do
    keep_best "ours-$c" "$(measure /dev/null "$cli" convert "$work/${file[$c]}" "$work/out.bmp")"
    # shellcheck disable=SC2046
    keep_best "native-$c" "$(measure /dev/null $(native "$c"))"
  done
done

printf '\n%-13s %10s %10s %7s %9s %10s %7s %9s %10s %9s\n' case "ours ms" "native ms" ratio "ours CPU" "native CPU" ratio \
  "ours MB" "native MB" "file MB"
for c in "${cases[@]}"; do
  awk -v c="$c" -v o="${best_wall[ours-$c]}" -v n="${best_wall[native-$c]}" -v oc="${best_cpu[ours-$c]}" \
      -v nc="${best_cpu[native-$c]}" -v orss="${best_rss[ours-$c]}" -v nrss="${best_rss[native-$c]}" \
      -v size="$(stat -c %s "$work/${file[$c]}")" \
    'BEGIN { printf "%-13s %10.0f %10.0f %7.2f %9.0f %10.0f %7.2f %9.1f %10.1f %9.2f\n", c, o, n, o / n, oc, nc,
             (nc ? oc / nc : 0), orss / 1024, nrss / 1024, size / 1048576 }'
done
echo
echo "Ratio: ours / native (below 1 is faster). CPU: user + system ms of all threads. MB: peak resident set size."
