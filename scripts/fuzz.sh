#!/usr/bin/env bash
# Runs every built fuzz target for the given number of seconds (default 60),
# as many at once as there are cores, starting from its seed corpus when one is
# committed next to its source. An input that takes longer than PER_INPUT
# seconds (default 10) is a finding, like a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
per_input=${PER_INPUT:-10}
shopt -s nullglob
targets=()
for target in build/fuzz/bin/fuzz_*; do
  [[ -x $target && ! -d $target ]] && targets+=("$target")
done
[[ ${#targets[@]} -gt 0 ]] || { echo "fuzz: no targets built" >&2; exit 0; }

run() {
  local target=$1 name corpus seeds limits
  name=$(basename "$target")
  corpus=$(mktemp -d)
  # Seeds live next to the target's source: fuzz/<program>/corpus/<target>/.
  seeds=$(ls -d fuzz/*/corpus/"$name" 2>/dev/null | head -n 1 || true)
  # Per input: a time-out (PER_INPUT) and a memory limit, tighter where a target's parser promises more.
  limits=(-timeout="$per_input" -rss_limit_mb=2048)
  case $name in
    fuzz_sway_config) limits=(-timeout=2 -rss_limit_mb=512 -malloc_limit_mb=64 -max_len=65536) ;;
  esac
  echo "fuzz: $name for ${seconds}s" >&2
  if ! "$target" -max_total_time="$seconds" "${limits[@]}" -print_final_stats=1 \
      "$corpus" $seeds >"$corpus.log" 2>&1; then
    echo "fuzz: $name failed" >&2
    tail -40 "$corpus.log" >&2
    return 1
  fi
  echo "fuzz: $name $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$corpus.log" | grep -o '[0-9]*$') runs" >&2
  rm -rf "$corpus" "$corpus.log"
}
export -f run
export seconds per_input
printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c 'run "$@"' _ {}
