#!/usr/bin/env bash
# Whole-process loading speed and peak memory of `pixamo-cli convert BIG.ext out.bmp` against the
# netpbm converters (which use libpng and libtiff for PNG and TIFF) on the same 3000x2000 files.
#   bench/formats/run.sh [PIXAMO-CLI=build/src/cli/pixamo-cli] [RUNS=3]
# Builds nothing. Needs ImageMagick (convert), netpbm, libtiff-tools and python3 (measure.py).
# The pictures go to a temporary folder on /dev/shm (on /tmp where that is missing), so that
# writing the outputs (our BMP, the native tools' PPM, both about 18 MB, written to a file in the
# same folder) costs no disk time. Each command runs RUNS times, ours and the native one in turn;
# the best wall time, the best CPU time (user + system) and the highest peak memory are kept.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/bench/lib.sh"
cli="$(realpath "${1:-$root/build/src/cli/pixamo-cli}")"
runs="${2:-3}"
[[ -x "$cli" ]] || { echo "No pixamo-cli at $cli (build it first)" >&2; exit 1; }
for tool in pngtopnm tifftopnm giftopnm tgatoppm sgitopnm pcxtoppm tiffinfo; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install netpbm libtiff-tools)" >&2; exit 1; }
done

make_work loadbench
width=3000 height=2000

# A plasma fractal with a fixed seed looks like a photograph's texture and compresses like one.
echo "Making the ${width}x${height} pictures in $work ..." >&2
"$im" -seed 1 -size ${width}x${height} plasma:fractal -depth 8 -type TrueColor "ppm:$work/source.ppm"
"$im" -size 8x8 plasma:fractal -depth 8 -type TrueColor "ppm:$work/tiny.ppm"
make_files() {  # stem source
  local stem=$1 src=$2
  "$im" "$src" -strip -depth 8 -define png:color-type=2 "$work/$stem.png"
  "$im" "$src" -strip -compress LZW "$work/$stem.tif"
  "$im" "$src" -strip -colors 256 "$work/$stem.gif"
  "$im" "$src" -strip -compress RLE "$work/$stem.tga"
  "$im" "$src" -strip -compress RLE "$work/$stem.sgi"
  "$im" "$src" -strip "$work/$stem.pcx"
}
make_files big "$work/source.ppm"
make_files tiny "$work/tiny.ppm"

declare -A native=([png]=pngtopnm [tif]=tifftopnm [gif]=giftopnm [tga]=tgatoppm [sgi]=sgitopnm [pcx]=pcxtoppm)
formats=(png tif gif tga sgi pcx)

for ((run = 1; run <= runs; ++run)); do
  echo "Run $run of $runs ..." >&2
  for f in "${formats[@]}"; do
    keep_best "ours-$f" "$(measure /dev/null "$cli" convert "$work/big.$f" "$work/out.bmp")"
    keep_best "native-$f" "$(measure "$work/native.ppm" "${native[$f]}" "$work/big.$f")"
  done
done
for f in "${formats[@]}"; do
  keep_best "tiny-$f" "$(measure /dev/null "$cli" convert "$work/tiny.$f" "$work/tiny.bmp")"
done

# Memory a load may take besides the process's own (the tiny picture's peak): the reader's
# bitmap, the 24-bit pixel buffer and the whole-picture working buffers of the reader. Row-sized
# buffers (a few rows of 9 kB) are left out.
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
size_of() { stat -c %s "$1"; }
row24=$(((width * 3 + 3) / 4 * 4))
buffer=$((row24 * height))
strip_rows=$(tiffinfo "$work/big.tif" 2>/dev/null | sed -n 's/.*Rows\/Strip: *\([0-9]*\).*/\1/p' | head -n 1)
strip_rows=${strip_rows:-$height}
declare -A bitmap working
for f in "${formats[@]}"; do bitmap[$f]=$buffer; working[$f]=0; done
bitmap[gif]=$(((width + 3) / 4 * 4 * height))
working[gif]=$(($(size_of "$work/big.gif") + width * (height + 1)))   # LZW data and the index rows
working[tif]=$((2 * strip_rows * width * 3))                          # one strip, packed and decoded
working[pcx]=$((262144 + width * 3))                                     # a piece of the data and a row

printf '\n%-5s %10s %10s %7s %9s %10s %7s %9s %12s\n' format "ours ms" "native ms" ratio "ours CPU" "native CPU" ratio "peak MB" "expected MB"
for f in "${formats[@]}"; do
  ours=${best_wall[ours-$f]} theirs=${best_wall[native-$f]}
  expected=$((best_rss[tiny-$f] * 1024 + bitmap[$f] + buffer + working[$f]))
  awk -v f="$f" -v o="$ours" -v n="$theirs" -v oc="${best_cpu[ours-$f]}" -v nc="${best_cpu[native-$f]}" \
      -v rss="$(mb $((best_rss[ours-$f] * 1024)))" -v ex="$(mb "$expected")" \
    'BEGIN { printf "%-5s %10.0f %10.0f %7.2f %9.0f %10.0f %7.2f %9s %12s\n", f, o, n, o / n, oc, nc, (nc ? oc / nc : 0), rss, ex }'
done
echo
echo "Ratio: ours / native (below 1 is faster). CPU: user + system ms. Peak: maximum resident set size."
echo "Expected: the process's peak on an 8x8 picture + bitmap + 24-bit buffer + whole-picture working buffers."
