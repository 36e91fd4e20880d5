#!/usr/bin/env bash
# Builds Pixamo and starts it; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
if [[ -x build/src/editor/pixamo ]]; then
  # Without a file of yours, the window opens our sample picture.
  if [[ $# -eq 0 ]]; then
    set -- packaging/sample.png
  fi
  exec build/src/editor/pixamo "$@"
fi
exec build/src/cli/pixamo-cli --help
