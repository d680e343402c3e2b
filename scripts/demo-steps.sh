#!/usr/bin/env bash
# Runs every demo step on the current display.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "Display $DISPLAY"
for step in scripts/demo.d/*.sh; do
  echo
  echo "=== $(basename "$step" .sh)"
  bash "$step"
done
