#!/usr/bin/env bash
# Times Resample (core_bench) and Pillow's resize on the same sizes in one go and prints a
# Markdown table with both times and the ratio.
# Usage: bench/core/run.sh [build-dir]   (default: build; configured and built here if needed)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
python=/usr/bin/python3   # the Debian interpreter that has python3-pil

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXAMO_GUI=OFF >/dev/null
fi
cmake --build "$build" -j2 --target core_bench >/dev/null

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
"$build/bench/core/core_bench" --benchmark_out="$out/core.json" --benchmark_out_format=json
"$python" "$root/bench/core/pillow_resize.py" | tee "$out/pillow.jsonl"

"$python" - "$out/core.json" "$out/pillow.jsonl" <<'PY'
import json, sys
core = json.load(open(sys.argv[1]))
pillow = {}
for line in open(sys.argv[2]):
    r = json.loads(line)
    pillow[(r["filter"], *r["source"], *r["dest"])] = (r["ms"], r["cpu_ms"])
print()
print("Milliseconds per call, wall clock and (in brackets) CPU time of the thread; the ratio is")
print("Pillow's time over Pixamo's, CPU time.")
print()
print("| Filter | Source | Destination | Pixamo | Pillow | Pillow / Pixamo |")
print("|---|---|---|---:|---:|---:|")
for b in core["benchmarks"]:
    if b.get("run_type") == "aggregate":
        continue
    label = b.get("label", "")
    args = dict(part.split(":") for part in b["name"].split("/")[1:] if ":" in part)
    key = (label.split()[0], int(args["sw"]), int(args["sh"]), int(args["dw"]), int(args["dh"]))
    ms, cpu = b["real_time"], b["cpu_time"]
    ref = pillow.get(key)
    ratio = f"{ref[1] / cpu:.1f}×" if ref and "scalar" not in label else "—"
    ref_text = f"{ref[0]:.1f} ({ref[1]:.1f})" if ref else "—"
    print(f"| {label} | {key[1]}×{key[2]} | {key[3]}×{key[4]} | {ms:.1f} ({cpu:.1f}) | {ref_text} | {ratio} |")
PY
