#!/usr/bin/env bash
# quorvane-input's input monitor: while a window is recorded, it reports
# clicks, shortcuts and pointer samples, and never what the user types.
set -euo pipefail
bin=${QUORVANE_BIN:?}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # wait_for FILE PATTERN: up to 10 s
  for _ in $(seq 100); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  echo "timed out waiting for $2 in $1" >&2
  return 1
}

# Display ids are the RandR monitor name atoms.
echo "displays (name, atom = display id, geometry):"
xrandr --listmonitors | awk 'NR > 1 { sub(/^[+*]+/, "", $2); print $2, $3 }' | while read -r name geometry; do
  echo "  $name $(xlsatoms -name "$name" | awk '{print $1}') $geometry"
done

{ echo "window x=200 y=150 w=640 h=400 color=f0f0f0 title=Notes class=Notes"; sleep 60; } |
  "$bin/quorvane-fake-app" > "$work/app.out" &
pids+=($!)
wait_for "$work/app.out" '^window'
window=$(awk '/^window/ { print $2; exit }' "$work/app.out")
echo "recording window $window"

"$bin/quorvane-input" window "$window" > "$work/monitor.out" &
monitor=$!
pids+=($monitor)
wait_for "$work/monitor.out" '"ready"'

xdotool mousemove 400 300
xdotool type --delay 20 "secret password"
xdotool key ctrl+shift+9 super+shift+9 alt+shift+9 shift+a ctrl+s
xdotool click 1 click 3 click 2 click 4 click 5
sleep 1

kill "$monitor"
wait "$monitor" 2>/dev/null || true
echo "messages other than pointer samples:"
grep -v '"type":"pointer"' "$work/monitor.out" | sed 's/^/  /'
echo "pointer samples while it ran (30 a second): $(grep -c '"type":"pointer"' "$work/monitor.out")"
echo "last sample: $(grep '"type":"pointer"' "$work/monitor.out" | tail -1)"
if grep -qi 'secret\|password' "$work/monitor.out"; then
  echo "typed text leaked!" >&2
  exit 1
fi
echo "the typed text \"secret password\" appears nowhere in the output"
