#!/usr/bin/env bash
# Builds every libFuzzer target (executables named fuzz_*, from any fuzz/<folder>) with clang into
# build-fuzz and runs each for the given number of seconds, one after the other.
#   scripts/fuzz.sh [SECONDS=60] [NAME-FILTER]
# Seeds come from fuzz/<folder>/seeds/<target name without fuzz_>/ and the kept corpus
# fuzz/<folder>/corpus/<target>/; the growing corpus stays in build-fuzz/corpus/<target>, inputs
# that fail in build-fuzz/artifacts/<target>/. After a clean run the corpus is merged (the inputs
# that add coverage) back into fuzz/<folder>/corpus/<target>/, at most 2 MB of it: the largest
# inputs go first when it would hold more.
# An input that takes more than 3 seconds or 1 GB fails: a file a viewer opens must not.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
filter="${2:-}"
bash scripts/install-deps.sh --with-fuzz

sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXAMO_FUZZ=ON -DPIXAMO_GUI=OFF -DPIXAMO_BENCH=OFF \
  -DPIXAMO_TESTS=OFF -DCMAKE_C_FLAGS="$sanitizers" -DCMAKE_CXX_FLAGS="$sanitizers" >/dev/null

mapfile -t targets < <(cmake --build build-fuzz --target help | sed -n 's/^\.\.\. \(fuzz_[A-Za-z0-9_]*\).*/\1/p' | sort)
if [[ -n "$filter" ]]; then
  mapfile -t targets < <(printf '%s\n' "${targets[@]}" | grep -- "$filter" || true)
fi
if ((${#targets[@]} == 0)); then
  echo "No fuzz targets found"
  exit 1
fi
cmake --build build-fuzz -j2 --target "${targets[@]}"

summary=()
status=0
for target in "${targets[@]}"; do
  exe=$(find build-fuzz -type f -executable -name "$target" | head -n 1)
  name="${target#fuzz_}"
  folder=$(basename "$(dirname "$exe")")
  kept="fuzz/$folder/corpus/$target"
  corpus="build-fuzz/corpus/$target"
  artifacts="build-fuzz/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  for seeds in fuzz/*/seeds/"$name" "$kept"; do
    [[ -d "$seeds" ]] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  done
  log="build-fuzz/$target.log"
  echo "== $target for ${seconds}s"
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt" \
      "$exe" "$corpus" -max_total_time="$seconds" -timeout=3 -rss_limit_mb=1024 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1; then
    result="clean"
    merged="build-fuzz/merged/$target"
    rm -rf "$merged"
    mkdir -p "$merged"
    if ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 "$exe" -merge=1 -timeout=3 -rss_limit_mb=1024 \
        "$merged" "$corpus" >"build-fuzz/$target.merge.log" 2>&1; then
      while (($(du -sb "$merged" | cut -f1) > 2 * 1024 * 1024)); do
        rm -f "$(find "$merged" -type f -printf '%s %p\n' | sort -n | tail -n 1 | cut -d' ' -f2-)"
      done
      rm -rf "$kept"
      mkdir -p "$kept"
      cp "$merged"/* "$kept"/ 2>/dev/null || true
    fi
  else
    result="FAILED (see $log and $artifacts)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  summary+=("$target: ${runs:-?} runs, $result")
done
printf '%s\n' "${summary[@]}"
exit "$status"
