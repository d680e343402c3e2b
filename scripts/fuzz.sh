#!/usr/bin/env bash
# Runs every built fuzz target for the given number of seconds (default 60),
# starting from its seed corpus when one is committed next to its source.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shopt -s nullglob
found=0
for target in build/fuzz/bin/fuzz_*; do
  [[ -x $target && ! -d $target ]] || continue
  found=1
  name=$(basename "$target")
  corpus=$(mktemp -d)
  # Seeds live next to the target's source: fuzz/<program>/corpus/<target>/.
  seeds=$(ls -d fuzz/*/corpus/"$name" 2>/dev/null | head -n 1 || true)
  echo "fuzz: $name for ${seconds}s" >&2
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 $corpus $seeds 2>"$corpus.log" \
    || { tail -40 "$corpus.log"; exit 1; }
  rm -rf "$corpus" "$corpus.log"
done
[[ $found -eq 1 ]] || echo "fuzz: no targets built" >&2
