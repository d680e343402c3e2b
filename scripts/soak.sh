#!/usr/bin/env bash
# Soak run (not part of the test command): the screen streamer and the input
# monitor on a private display for the given minutes (default 10), with their
# memory, descriptors and threads once a minute. Ends with "flat: yes" or "no".
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quorvane-recording-screen quorvane-input quorvane-fake-app \
  quorvane-x-info quorvane-with-x
bin=$PWD/build/release/bin
exec "$bin/quorvane-with-x" --size 1280x720 -- python3 scripts/soak.py "$bin" "$minutes"
