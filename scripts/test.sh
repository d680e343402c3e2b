#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit and end-to-end
# tests, the same suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# the threaded streamer under ThreadSanitizer, and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
for preset in default asan tsan; do
  echo "== $preset build and tests" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "== fuzz targets, short runs" >&2
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/fuzz.sh 20
