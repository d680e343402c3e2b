#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: all unit and end-to-end
# tests once, under AddressSanitizer + UndefinedBehaviorSanitizer; the threaded
# streamer's tests under ThreadSanitizer; a short run of each fuzz target; and
# the Debian package built, installed, run and purged. Each stage builds only
# what it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
log=$(mktemp)
package_log=$(mktemp)
tools_ready=$(mktemp -u)
package=
# A stopped package build unmounts and removes its chroot before it ends:
# wait for its whole process group, up to a deadline.
stop_package() {
  [[ -n $package ]] || return 0
  kill -- "-$package" 2>/dev/null || true
  wait "$package" 2>/dev/null || true
  local deadline=$((SECONDS + 90))
  while kill -0 -- "-$package" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.5; done
  kill -KILL -- "-$package" 2>/dev/null || true
}
trap 'stop_package; rm -f "$log" "$package_log" "$tools_ready"' EXIT
stage() { echo "== $1 ($(date +%T))" >&2; }

# The package builds from the start, beside the stages, in a clean chroot of
# its own; its check then waits for the test tools the ASan build makes (the
# fake application and the private X server runner of its smoke test).
stage "package build and check (in the background), asan: build"
setsid bash -c '
  set -euo pipefail
  deb=$(scripts/package.sh | tail -n 1)
  while [[ ! -e $1 ]]; do sleep 1; done
  QUORVANE_TOOLS_PRESET=asan scripts/package-check.sh --deb "$deb"' _ "$tools_ready" >"$package_log" 2>&1 &
package=$!
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
touch "$tools_ready"

stage "asan: every unit and end-to-end test"
ctest --preset asan -j $((jobs * 2)) | tee -a "$log"

stage "tsan: the threaded code"
cmake --preset tsan >/dev/null
mapfile -t threaded < <(ctest --preset tsan -N | sed -n 's/^ *Test *#[0-9]*: *//p')
cmake --build --preset tsan -j "$jobs" --target "${threaded[@]}"
ctest --preset tsan -j "$jobs" | tee -a "$log"

stage "fuzz: build, short runs"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target fuzzers
PER_INPUT=25 scripts/fuzz.sh 10

stage "package check: waiting for it"
if ! wait "$package"; then
  package=
  cat "$package_log" >&2
  # The build's and the check's own verdict, below a long log.
  echo "package build or check failed: $(grep -E '^package( check)?: ' "$package_log" | tail -n 1)" >&2
  exit 1
fi
package=
tail -n 3 "$package_log" >&2

# One closing line over the suites (ctest stops this script on any failure).
total=0
while read -r n; do total=$((total + n)); done < <(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")
stage "done"
echo "suites: $((total + 1)) passed, 0 failed"
