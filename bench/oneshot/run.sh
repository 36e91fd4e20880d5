#!/usr/bin/env bash
# What a one-shot `pixamo-cli convert` costs as a user runs it: whole processes on fresh memory,
# against the netpbm converters (loading) and Pillow (the resampler's first call in a process).
#   bench/oneshot/run.sh [PIXAMO-CLI=build/src/cli/pixamo-cli] [RUNS=3]
# Builds nothing. Needs ImageMagick, netpbm, python3 with python3-pil (/usr/bin/python3).
#
# Loading: a 3000x2000 picture (ImageMagick's wizard tiled and multiplied with its logo) as PNG,
# TIFF (LZW), GIF (256 colours), Targa (RLE), SGI (RLE) and PCX (24-bit, ppmtopcx); each whole
# process `pixamo-cli convert BIG.ext out.bmp` against the netpbm tool writing its PPM to a file.
# Resampling: `pixamo-cli convert --verbose SRC.bmp out.bmp --filter F --scale WxH` reports the
# resampler's own time; Pillow's Image.resize is timed around its first call in a fresh
# python3 process. Peak memory is the process's maximum resident set size (wait4's ru_maxrss,
# the figure /usr/bin/time -v prints), checked against the larger picture's 24-bit size + 20 MB.
# Everything goes to a temporary folder on /dev/shm (on /tmp where that is missing), so that
# writing the outputs costs no disk time. Best of RUNS for times, highest of RUNS for memory.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/bench/lib.sh"
cli="$(realpath "${1:-$root/build/src/cli/pixamo-cli}")"
runs="${2:-3}"
python=/usr/bin/python3  # the Debian interpreter that has python3-pil
[[ -x "$cli" ]] || { echo "No pixamo-cli at $cli (build it first)" >&2; exit 1; }
for tool in pngtopnm tifftopnm giftopnm tgatoppm sgitopnm pcxtoppm ppmtopcx; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install netpbm)" >&2; exit 1; }
done
"$python" -c 'import PIL' 2>/dev/null || { echo "Pillow is missing (apt-get install python3-pil)" >&2; exit 1; }

make_work oneshot

composite() {  # width height output
  "$im" -size "$1x$2" tile:wizard: \( logo: -resize "$1x$2!" \) -compose multiply -composite -depth 8 "$3"
}
echo "Making the pictures in $work ..." >&2
composite 3000 2000 "ppm:$work/src.ppm"
"$im" "$work/src.ppm" -strip -depth 8 -define png:color-type=2 "$work/BIG.png"
"$im" "$work/src.ppm" -strip -compress LZW "$work/BIG.tif"
"$im" "$work/src.ppm" -colors 256 "$work/BIG.gif"
"$im" "$work/src.ppm" -strip -compress RLE "$work/BIG.tga"
"$im" "$work/src.ppm" -strip -compress RLE "$work/BIG.sgi"
ppmtopcx -24bit "$work/src.ppm" >"$work/BIG.pcx" 2>/dev/null
composite 4000 3000 "ppm:$work/large.ppm"
composite 1000 750 "ppm:$work/small.ppm"
"$im" "$work/large.ppm" "bmp3:$work/large.bmp"
"$im" "$work/small.ppm" "bmp3:$work/small.bmp"

declare -A best_call
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

declare -A native=([png]=pngtopnm [tif]=tifftopnm [gif]=giftopnm [tga]=tgatoppm [sgi]=sgitopnm [pcx]=pcxtoppm)
declare -A label=([png]=PNG [tif]="TIFF LZW" [gif]=GIF [tga]="Targa RLE" [sgi]="SGI RLE" [pcx]="PCX 24-bit")
formats=(png tif gif tga sgi pcx)
scales=("large 1000x750" "small 4000x3000" "large 3600x2700")
declare -A pillow_filter=([lanczos3]=LANCZOS [triangle]=BILINEAR)
filters=(lanczos3 triangle)

for ((run = 1; run <= runs; ++run)); do
  echo "Run $run of $runs ..." >&2
  for f in "${formats[@]}"; do
    keep_best "ours-$f" "$(measure /dev/null "$cli" convert "$work/BIG.$f" "$work/out.bmp")"
    keep_best "native-$f" "$(measure "$work/native.ppm" "${native[$f]}" "$work/BIG.$f")"
  done
  for filter in "${filters[@]}"; do
    for s in "${scales[@]}"; do
      read -r src size <<<"$s"
      key="$filter-$src-$size"
      # The verbose lines go to standard error, which measure keeps in stderr.txt.
      result="$(measure /dev/null "$cli" convert --verbose "$work/$src.bmp" "$work/out.bmp" --filter "$filter" --scale "$size")"
      sed -n 's/^scale .*: \([0-9]*\) ms$/\1/p' "$work/stderr.txt" >"$work/scale.txt"
      keep_best "ours-$key" "$result"
      best_call[ours-$key]=$(min "$(cat "$work/scale.txt")" "${best_call[ours-$key]:-}")
      # Pillow in a fresh process: open and decode first, then time the one call.
      "$python" -c '
import sys, time
from PIL import Image
picture = Image.open(sys.argv[1]); picture.load()
width, height = map(int, sys.argv[2].split("x"))
start = time.perf_counter()
picture.resize((width, height), getattr(Image, sys.argv[3]))
print(f"{(time.perf_counter() - start) * 1000:.1f}")' "$work/$src.ppm" "$size" "${pillow_filter[$filter]}" >"$work/pillow.txt"
      best_call[pillow-$key]=$(min "$(cat "$work/pillow.txt")" "${best_call[pillow-$key]:-}")
    done
  done
done

mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }          # kB to MB (2^20 bytes)
bound() { awk -v p="$1" 'BEGIN { printf "%.1f", p * 3 / 1048576 + 20 }'; }  # pixels to MB

echo
echo "Loading: whole process, load and save (ours: BMP, netpbm: PPM), ms of wall time and (CPU time,"
echo "user + system); ratio = ours / netpbm."
echo
echo "| format | pixamo-cli | netpbm tool | ratio (CPU) | peak RSS | at most |"
echo "|---|---:|---:|---:|---:|---:|"
for f in "${formats[@]}"; do
  o=${best_wall[ours-$f]} n=${best_wall[native-$f]} oc=${best_cpu[ours-$f]} nc=${best_cpu[native-$f]}
  awk -v l="${label[$f]} (${native[$f]})" -v o="$o" -v n="$n" -v oc="$oc" -v nc="$nc" -v r="$(mb "${best_rss[ours-$f]}")" \
    -v b="$(bound 6000000)" \
    'BEGIN { printf "| %s | %.0f (%.0f) | %.0f (%.0f) | %.2f (%.2f) | %s MB | %s MB |\n", l, o, oc, n, nc, o / n, oc / nc, r, b }'
done
echo
echo "Resampling: the first call in a fresh process, ms; ratio = Pillow / ours. Whole process: our"
echo "convert (load BMP, scale, save BMP), wall ms."
echo
echo "| filter | source | destination | ours, first call | Pillow, first call | ratio | whole process | peak RSS | at most |"
echo "|---|---|---|---:|---:|---:|---:|---:|---:|"
declare -A dims=([large]=4000x3000 [small]=1000x750)
for filter in "${filters[@]}"; do
  for s in "${scales[@]}"; do
    read -r src size <<<"$s"
    key="$filter-$src-$size"
    sw=${dims[$src]%x*} sh=${dims[$src]#*x} dw=${size%x*} dh=${size#*x}
    pixels=$((sw * sh > dw * dh ? sw * sh : dw * dh))
    awk -v f="$filter" -v s="${dims[$src]}" -v d="$size" -v o="${best_call[ours-$key]}" -v p="${best_call[pillow-$key]}" \
      -v w="${best_wall[ours-$key]}" -v r="$(mb "${best_rss[ours-$key]}")" -v b="$(bound "$pixels")" \
      'BEGIN { printf "| %s | %s | %s | %d | %.0f | %.1f× | %.0f | %s MB | %s MB |\n", f, s, d, o, p, p / (o > 0 ? o : 0.5), w, r, b }'
  done
done
