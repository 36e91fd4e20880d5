#!/usr/bin/env bash
# Builds view_bench, writes its two pictures (once, into a folder outside the repository) and
# times the main window on each.
# Usage: bench/editor/run.sh [build-dir] [picture-folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
pictures="${2:-/tmp/pixamo-view-bench}"
cmake --build "$build" -j2 --target view_bench >/dev/null
/usr/bin/python3 "$root/bench/editor/make_pictures.py" "$pictures"
for name in photo-24mp.jpg picture-100mp.png; do
  # Each picture alone in its folder: the window reads the next picture of the folder ahead,
  # which would add that picture's memory to this one's.
  mkdir -p "$pictures/${name%.*}"
  picture="$pictures/${name%.*}/$name"
  [[ -e "$picture" ]] || ln "$pictures/$name" "$picture" 2>/dev/null || cp "$pictures/$name" "$picture"
  cat "$picture" >/dev/null  # read from the page cache, as the decode-alone run is
  "$build/bench/editor/view_bench" "$picture" 2>/dev/null
  echo
done
