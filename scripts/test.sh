#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit and end-to-end
# tests, the same suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# the threaded streamer under ThreadSanitizer, and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in default asan tsan; do
  echo "== $preset build and tests" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs" | tee -a "$log"
done

echo "== fuzz targets, short runs" >&2
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/fuzz.sh 20

# One closing line over the three suites (ctest stops this script on any failure).
total=0
while read -r n; do total=$((total + n)); done < <(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")
echo "suites: $total passed, 0 failed"
