#!/usr/bin/env bash
# Installs what is missing, builds, and shows the helpers doing their real jobs:
# on the display in $DISPLAY when one is given, else on a private virtual display.
# Each step in scripts/demo.d runs in order; pictures land in demo-output/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null

export QUORVANE_BIN=$PWD/build/default/bin
export QUORVANE_DEMO_OUT=$PWD/demo-output
mkdir -p "$QUORVANE_DEMO_OUT"
if [[ -n ${DISPLAY:-} && ${1:-} != --private ]]; then
  exec scripts/demo-steps.sh
fi
# Two monitors side by side, as on many desks.
exec "$QUORVANE_BIN/quorvane-with-x" --size 2560x800 --monitor 1280x800+0+0 --monitor 1280x800+1280+0 -- scripts/demo-steps.sh
