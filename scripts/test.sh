#!/usr/bin/env bash
# Builds everything and runs every test: a normal build, then one under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

bash scripts/check-format.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPIXAMO_SANITIZE=ON -DPIXAMO_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt" \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
