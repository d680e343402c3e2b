#!/usr/bin/env bash
# quorvane-recording-screen: streams the left monitor of a small sample desktop
# and saves three frames. The red window belongs to the "application" that
# starts the streamer, so it never appears in them; the other windows belong to
# another program and do.
set -euo pipefail
B=$QUORVANE_BIN
OUT=$QUORVANE_DEMO_OUT
work=$(mktemp -d)
cleanup() {
  exec 5>&- 6<&- 7>&- 8<&- 9>&- 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "Monitors and their display ids (the RandR monitor name atom):"
first_id=
while read -r name geometry; do
  id=$(xlsatoms -name "$name" | cut -f1)
  echo "  $name $geometry id $id"
  [[ -n $first_id ]] || first_id=$id
done < <(xrandr --listmonitors | awk 'NR > 1 { n = $2; sub(/^[+*]+/, "", n); print n, $3 }')

mkfifo "$work/other.ctl" "$work/other.rep" "$work/app.ctl" "$work/app.rep" "$work/helper.in"
# Another program with a few windows.
"$B/quorvane-fake-app" --control-fd 3 --report-fd 4 3<"$work/other.ctl" 4>"$work/other.rep" &
exec 5>"$work/other.ctl" 6<"$work/other.rep"
other() { echo "$1" >&5; read -r -t 10 -u 6 reply; echo "$reply"; }
green=$(other "window color=40a060 x=80 y=90 w=520 h=360 title=|Another program" | cut -d' ' -f2)
other "window color=e0c040 x=660 y=300 w=420 h=300 title=|Yet another window" >/dev/null

# The application: its red window overlaps the others, and it runs the streamer
# with its own standard streams; frames go to the splitting tool.
"$B/quorvane-fake-app" --control-fd 3 --report-fd 4 3<"$work/app.ctl" 4>"$work/app.rep" <"$work/helper.in" \
  | "$B/quorvane-split-frames" "$OUT/recording-screen-frame" >"$work/split.log" &
exec 7>"$work/app.ctl" 8<"$work/app.rep" 9>"$work/helper.in"
app() { echo "$1" >&7; read -r -t 10 -u 8 reply; echo "$reply"; }
app "window color=ff0000 x=300 y=200 w=500 h=320 title=|Quorvane (left out of the frames)" >/dev/null
echo "Streaming display $first_id at 30 frames per second"
app "$(printf 'run\x1f%s\x1f%s\x1f30' "$B/quorvane-recording-screen" "$first_id")" >/dev/null

# The first frame comes unasked; each later one answers a "frame" line once the
# screen changed. The splitter keeps reading to the end, so a frame asked for
# just before "stop" still finds its reader; only the first three are kept.
rm -f "$OUT"/recording-screen-frame-*.jpg
for step in $(seq 1 50); do
  [[ $(grep -c '\.jpg' "$work/split.log" || true) -ge 3 ]] && break
  sleep 0.3
  other "move $green $((80 + step * 30)) 90" >/dev/null
  echo frame >&9
done
echo stop >&9
status=$(app wait)
head -n 3 "$work/split.log"
rm -f "$OUT"/recording-screen-frame-00[4-9].jpg
echo "streamer ended: $status"
echo quit >&7
echo quit >&5
for f in "$OUT"/recording-screen-frame-00[1-3].jpg; do
  identify -format "%f: %wx%h JPEG\n" "$f" 2>/dev/null || ls -l "$f"
done
[[ $status == "exit 0" && $(grep -c '\.jpg' "$work/split.log") -ge 3 ]]
