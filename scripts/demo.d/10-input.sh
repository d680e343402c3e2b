#!/usr/bin/env bash
# quorvane-input's one-shot modes, focusing and auto-scroll on sample windows.
set -euo pipefail
B=$QUORVANE_BIN
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

# A stand-in application: windows on demand, replies in $1.report, and the
# output of the helpers it starts in $1.out (their stdin is the fifo $1.in).
start_app() {
  mkfifo "$work/$1.ctl" "$work/$1.in"
  "$B/quorvane-fake-app" --control-fd 3 --report-fd 4 3<"$work/$1.ctl" 4>"$work/$1.report" \
    <"$work/$1.in" >>"$work/$1.out" &
  eval "exec {ctl_$1}>\"$work/$1.ctl\" {in_$1}>\"$work/$1.in\""
}
# Sends a command and prints its reply (the next line of the report).
say() {
  local app=$1; shift
  local before fd
  before=$(wc -l <"$work/$app.report")
  fd=ctl_$app
  echo "$*" >&"${!fd}"
  until [[ $(wc -l <"$work/$app.report") -gt $before ]]; do sleep 0.02; done
  sed -n "$((before + 1))p" "$work/$app.report"
}
window() { say "$1" window "${@:2}" | awk '{print $2}'; }
show() {
  local out status=0
  out=$("$B/quorvane-input" "$@") || status=$?
  printf '  $ quorvane-input %s\n  %s   (status %d)\n' "$*" "$out" "$status"
}

echo "Displays (the ids that 'quorvane-input screen ID' and the screen streamer take):"
"$B/quorvane-x-info" | sed 's/^/  /'

start_app editor; start_app browser; start_app quorvane
own=$(window quorvane "x=900 y=500 w=300 h=200 class=Quorvane")
editor1=$(window editor "x=60 y=60 w=520 h=360 class=Editor")
editor2=$(window editor "x=620 y=80 w=420 h=300 class=Editor")
browser=$(window browser "x=200 y=200 w=640 h=420 class=Browser log=1")
echo
echo "Windows: Editor $editor1 and $editor2, Browser $browser (in front), the application's own $own"
echo
echo "Run by the test application itself (its own window is left out):"
say quorvane "run$(printf '\x1f%s' "$B/quorvane-input" --capture-windows)" >/dev/null
sleep 0.3
sed 's/^/  /' "$work/quorvane.out"
echo
show --active-window
show --window-info "$editor2"
show --check
show --self-test
show --scroll-self-test
show screen
echo
echo "Focusing Editor $editor1, which Browser covers:"
show --focus-window "$editor1"
show --active-window
echo
echo "Auto-scroll: five wheel steps over the lower half of Browser $browser:"
: >"$work/quorvane.out"
say quorvane "run$(printf '\x1f%s' "$B/quorvane-input" --scroll "$browser" 0 0.5 1 0.5)" >/dev/null
for _ in 1 2 3 4 5; do echo step >&"$in_quorvane"; sleep 0.1; done
echo stop >&"$in_quorvane"
sleep 0.3
sed 's/^/  helper: /' "$work/quorvane.out"
say browser sync >/dev/null
grep -E '^(wheel|button)' "$work/browser.report" | sed 's/^/  Browser received: /' || echo "  Browser received nothing"
