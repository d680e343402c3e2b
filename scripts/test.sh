#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: all unit and end-to-end
# tests once, under AddressSanitizer + UndefinedBehaviorSanitizer; the threaded
# streamer's tests under ThreadSanitizer; a short run of each fuzz target.
# Each stage builds only what it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
stage() { echo "== $1 ($(date +%T))" >&2; }

stage "asan: build, every unit and end-to-end test"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
# End-to-end tests mostly wait on X servers and child processes: run more
# of them than there are cores.
ctest --preset asan -j $((jobs * 2)) | tee -a "$log"

stage "tsan: the threaded code"
cmake --preset tsan >/dev/null
mapfile -t threaded < <(ctest --preset tsan -N | sed -n 's/^ *Test *#[0-9]*: *//p')
cmake --build --preset tsan -j "$jobs" --target "${threaded[@]}"
ctest --preset tsan -j "$jobs" | tee -a "$log"

stage "fuzz: build, short runs"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/fuzz.sh 15

# One closing line over the suites (ctest stops this script on any failure).
total=0
while read -r n; do total=$((total + n)); done < <(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")
stage "done"
echo "suites: $total passed, 0 failed"
