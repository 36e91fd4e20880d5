#!/usr/bin/env bash
# The batch benchmark: twelve-megapixel JPEG photos scaled into a 1000 x 1000 box and written as
# JPEG, by pixamo-cli (-j 1, -j 2, --draft) and by libvips' vipsthumbnail and ImageMagick's
# mogrify with as many threads. Prints wall time, pictures per second and peak resident memory.
#
#   bash bench/batch.sh [--full] [BUILD-DIR]
#
# 40 photos by default (a few minutes in all); --full makes 200. The photos are made once with
# ImageMagick in $PIXAMO_BENCH_DIR (default /tmp/pixamo-batch-bench) and kept for later runs.
set -euo pipefail

count=40
if [[ "${1:-}" == "--full" ]]; then
  count=200
  shift
fi
build=$(realpath "${1:-build}")
cli="$build/src/cli/pixamo-cli"
[[ -x "$cli" ]] || { echo "no $cli: build first" >&2; exit 1; }
for tool in /usr/bin/convert /usr/bin/mogrify vipsthumbnail /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

work=${PIXAMO_BENCH_DIR:-/tmp/pixamo-batch-bench}
photos="$work/photos-$count"
mkdir -p "$photos"

# Photo-like pictures: a smooth plasma field, shifted, tinted and grained differently each time,
# saved by libjpeg at quality 90 (4:2:0), about 3 MB each.
if [[ ! -f "$photos/done" ]]; then
  echo "making $count photos of 4000x3000 in $photos" >&2
  /usr/bin/convert -seed 7 -size 1000x750 plasma:fractal -blur 0x2 "$work/base.png"
  seq 0 $((count - 1)) | xargs -P 2 -I{} sh -c '
    i={}
    /usr/bin/convert "$1/base.png" -roll +$((i * 37))+$((i * 23)) -modulate 100,$((80 + i % 40)),$((i * 7 % 200)) \
      -resize 4000x3000! -seed "$i" -attenuate 0.4 +noise Gaussian -quality 90 -sampling-factor 2x2 \
      "$2/photo$(printf %03d "$i").jpg"' sh "$work" "$photos"
  touch "$photos/done"
fi
files=("$photos"/*.jpg)

# run NAME THREADS COMMAND...: times COMMAND writing into $out, prints one table row. CPU time
# (user + system) tells the work done when other jobs share the machine.
run() {
  local name=$1 threads=$2
  shift 2
  rm -rf "$out" && mkdir -p "$out"
  sync
  # /usr/bin/time writes its line last on stderr: the command's own messages come first.
  local report
  report=$(/usr/bin/time -f "%e %U %S %M" "$@" 2>&1 >/dev/null | tail -1)
  local made
  made=$(find "$out" -name '*.jpg' | wc -l)
  local seconds user system kb
  read -r seconds user system kb <<<"$report"
  awk -v name="$name" -v threads="$threads" -v c="$count" -v s="$seconds" -v u="$user" -v y="$system" \
    -v kb="$kb" -v made="$made" \
    'BEGIN { printf "| %s | %s | %.1f | %.1f | %.2f | %d | %d |\n", name, threads, s, u + y, c / s, kb / 1024, made }'
}

out="$work/out"
echo "| run | threads | seconds | CPU seconds | pictures/s | peak RSS (MB) | written |"
echo "|---|---:|---:|---:|---:|---:|---:|"
run "pixamo-cli --fit 1000" 1 "$cli" convert --quiet -j 1 --fit 1000 --quality 85 -o "$out" --format jpg "${files[@]}"
run "pixamo-cli --fit 1000" 2 "$cli" convert --quiet -j 2 --fit 1000 --quality 85 -o "$out" --format jpg "${files[@]}"
run "pixamo-cli --fit 1000 --draft" 1 "$cli" convert --quiet -j 1 --draft --fit 1000 --quality 85 -o "$out" --format jpg "${files[@]}"
run "pixamo-cli --fit 1000 --draft" 2 "$cli" convert --quiet -j 2 --draft --fit 1000 --quality 85 -o "$out" --format jpg "${files[@]}"
run "vipsthumbnail --size 1000" 1 env VIPS_CONCURRENCY=1 vipsthumbnail --size 1000 -o "$out/%s.jpg[Q=85]" "${files[@]}"
run "vipsthumbnail --size 1000" 2 env VIPS_CONCURRENCY=2 vipsthumbnail --size 1000 -o "$out/%s.jpg[Q=85]" "${files[@]}"
run "mogrify -resize 1000x1000 -quality 85" 2 env MAGICK_THREAD_LIMIT=2 /usr/bin/mogrify -path "$out" \
  -resize 1000x1000 -quality 85 "${files[@]}"
