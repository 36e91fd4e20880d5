#!/usr/bin/env bash
# Time and memory of every small file: each file under 64 KB of the picture corpus (shared) and of
# the generated ones (the fuzzers' kept corpora and seeds, the tests' fuzzing findings, and the
# two bombs that once took seconds) must load, or be refused, within 100 ms and 64 MB, measured
# on the whole process: `pixamo-cli info FILE` and `pixamo-cli convert FILE out.bmp` (the
# editor's load: the reader's bitmap, then the 24-bit pixel buffer; then the bitmap written).
#   bench/formats/small_files.sh [PIXAMO-CLI=build/src/cli/pixamo-cli] [CORPUS=/work/shared/corpus]
# Builds nothing. Needs /usr/bin/time, python3 and ImageMagick (convert, for the JPEG bomb).
# Prints the count, the slowest and largest files, and every file beyond a bound; exits 1 when
# there is one.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cli="$(realpath "${1:-$root/build/src/cli/pixamo-cli}")"
corpus="${2:-/work/shared/corpus}"
[[ -x "$cli" ]] || { echo "No pixamo-cli at $cli (build it first)" >&2; exit 1; }
limit_bytes=$((64 * 1024))
limit_ms=100
limit_kb=$((64 * 1024))

base=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
work="$(mktemp -d -p "$base" smallfiles.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files"
list="$work/list.txt"
: >"$list"

# Shared corpus files as they are.
if [[ -d "$corpus" ]]; then
  find "$corpus" -type f -size -"${limit_bytes}"c ! -name '*.md' ! -name '*.LICENSE' | sort >>"$list"
fi
# Generated files get the extension their reader registers, so that the platform's loaders are
# reached by extension too. Pipeline inputs lose the first byte, which chose the extension.
declare -A ext_of=([png]=png [gif]=gif [tiff]=tif [eps]=eps [pcx]=pcx [psd]=psd [sgi]=sgi [targa]=tga)
n=0
add_generated() {  # file extension [skip-first-byte]
  n=$((n + 1))
  local target="$work/files/g$n.$2"
  if [[ "${3:-}" == skip ]]; then tail -c +2 "$1" >"$target"; else cp "$1" "$target"; fi
  echo "$target" >>"$list"
}
for dir in "$root"/fuzz/formats/corpus/fuzz_* "$root"/fuzz/formats/seeds/*; do
  [[ -d "$dir" ]] || continue
  name="$(basename "$dir")"
  name="${name#fuzz_}"
  while IFS= read -r file; do
    if [[ "$name" == pipeline ]]; then
      platform=(bmp ico jpg)
      first=$(od -An -tu1 -N1 "$file" | tr -d ' ')
      add_generated "$file" "${platform[$(((${first:-0}) % 3))]}" skip
    else
      add_generated "$file" "${ext_of[$name]:-bin}"
    fi
  done < <(find "$dir" -type f -size -"${limit_bytes}"c)
done
for file in "$root"/tests/formats/data/fuzz-*; do
  [[ -f "$file" ]] || continue
  reader="$(basename "$file" | cut -d- -f2)"
  add_generated "$file" "${ext_of[$reader]:-bin}"
done
# The 132-byte PCX of stored 4-bit rows claiming 15873 x 15935 pixels, and a JPEG of 16 x 16
# pixels whose frame header says 16000 x 16000.
python3 - "$work/files/bomb.pcx" <<'EOF'
import struct, sys
header = bytearray(128)
header[0:4] = bytes([10, 5, 0, 4])
struct.pack_into("<4H", header, 4, 0, 0, 15872, 15934)
header[65] = 1
struct.pack_into("<H", header, 66, 7937)
open(sys.argv[1], "wb").write(bytes(header) + b"\0\0\0\0")
EOF
echo "$work/files/bomb.pcx" >>"$list"
im=convert
[[ -x /usr/bin/convert ]] && im=/usr/bin/convert
"$im" -size 16x16 gradient:red-blue -strip -quality 75 "$work/small.jpg"
python3 - "$work/small.jpg" "$work/files/bomb.jpg" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
i = 2
while i + 9 < len(data):
    marker, length = data[i + 1], int.from_bytes(data[i + 2:i + 4], "big")
    if 0xC0 <= marker <= 0xC2:
        data[i + 5:i + 9] = (16000).to_bytes(2, "big") * 2
        break
    i += 2 + length
open(sys.argv[2], "wb").write(data)
EOF
echo "$work/files/bomb.jpg" >>"$list"

# One line per file and command: "ms peak-kB exit command file".
results="$work/results.txt"
: >"$results"
while IFS= read -r file; do
  for command in info convert; do
    if [[ $command == info ]]; then
      args=(info "$file")
    else
      args=(convert "$file" "$work/out.bmp")
    fi
    # GNU time gives the peak memory and the exit status; its wall time has a resolution of
    # 10 ms, so the time is taken around it (which adds its own start, under a millisecond).
    start=$(date +%s%N)
    set +e
    /usr/bin/time -f "%M %x" -o "$work/time.txt" "$cli" "${args[@]}" >/dev/null 2>&1
    set -e
    end=$(date +%s%N)
    read -r kb status < <(tail -n 1 "$work/time.txt")
    ms=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e6 }')
    echo "$ms $kb $status $command $file" >>"$results"
  done
  rm -f "$work/out.bmp"
done <"$list"

files=$(wc -l <"$list")
loaded=$(awk '$4 == "info" && $3 == 0' "$results" | wc -l)
refused=$(awk '$4 == "info" && $3 != 0' "$results" | wc -l)
generated=$(grep -c "^$work/files/" "$list" || true)
echo "$files files under 64 KB ($((files - generated)) shared, $generated generated; $loaded loaded, $refused refused by info)"
echo "Each run with info and with convert:"
for command in info convert; do
  awk -v c="$command" '$4 == c' "$results" | sort -g -k1,1 | awk -v c="$command" '
    { ms[NR] = $1; if ($2 > kb) kb = $2 }
    END { printf "%-7s wall ms: median %.1f, 99th percentile %.1f, max %.1f; peak memory max %.1f MB\n",
                 c, ms[int((NR + 1) / 2)], ms[int(NR * 0.99 + 0.5)], ms[NR], kb / 1024 }'
done
echo "Slowest (ms, peak kB, exit status, command, file):"
sort -g -k1,1 "$results" | tail -n 5 | sed "s|$work/files/|generated: |"
echo "Largest peak memory:"
sort -g -k2,2 "$results" | tail -n 5 | sed "s|$work/files/|generated: |"
beyond=$(awk -v ms="$limit_ms" -v kb="$limit_kb" '$1 > ms || $2 > kb || $3 > 1' "$results")
if [[ -n "$beyond" ]]; then
  echo "Beyond ${limit_ms} ms or ${limit_kb} kB, or killed:"
  echo "$beyond" | sed "s|$work/files/|generated: |"
  exit 1
fi
echo "Every file within ${limit_ms} ms and ${limit_kb} kB."
