#!/usr/bin/env bash
# quorvane-recording-screen in a Wayland session: one frame of a private
# headless sway (started as the unprivileged user 65534, as the tests do). The
# red window belongs to the "application" that starts the streamer, so it is
# painted over in the frame; the green one belongs to another program and shows.
set -euo pipefail
B=$QUORVANE_BIN
OUT=$QUORVANE_DEMO_OUT
if [[ $(id -u) != 0 ]] || ! command -v sway >/dev/null || ! command -v setpriv >/dev/null; then
  echo "skipped: needs root (to start sway as user 65534), sway and setpriv"
  exit 0
fi
work=$(mktemp -d)
sway_pid=
cleanup() {
  exec 5>&- 2>/dev/null || true
  [[ -n $sway_pid ]] && kill "$sway_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -m 0700 "$work/rt"
chmod 0755 "$work"
chown 65534:65534 "$work" "$work/rt"
cat >"$work/sway.conf" <<'CONF'
output HEADLESS-1 resolution 1280x720 position 0,0
output * bg #305070 solid_color
xwayland disable
for_window [app_id="^test"] floating enable
CONF
env -i PATH=/usr/bin:/bin HOME="$work" XDG_RUNTIME_DIR="$work/rt" WLR_BACKENDS=headless WLR_RENDERER=pixman \
  WLR_LIBINPUT_NO_DEVICES=1 setpriv --reuid=65534 --regid=65534 --clear-groups sway -c "$work/sway.conf" \
  >/dev/null 2>&1 &
sway_pid=$!
for _ in $(seq 1 200); do
  wl=$(find "$work/rt" -maxdepth 1 -name 'wayland-*' -type s | head -n 1)
  ipc=$(find "$work/rt" -maxdepth 1 -name 'sway-ipc.*' -type s | head -n 1)
  [[ -n $wl && -n $ipc ]] && break
  sleep 0.05
done
[[ -n $wl && -n $ipc ]] || { echo "sway did not start"; exit 1; }
export WAYLAND_DISPLAY=$wl XDG_RUNTIME_DIR=$work/rt SWAYSOCK=$ipc
unset DISPLAY

# The display id is the output's registry name; libwayland's protocol log shows it.
id=$(WAYLAND_DEBUG=1 "$B/quorvane-wayland-client" </dev/null 2>&1 >/dev/null \
  | sed -n 's/.*global(\([0-9]*\), "wl_output".*/\1/p' | head -n 1)
echo "Output HEADLESS-1 1280x720, display id $id"

mkfifo "$work/other.in" "$work/helper.in"
"$B/quorvane-wayland-client" --window test-other 40a060 <"$work/other.in" >"$work/other.out" &
exec 5>"$work/other.in"
# The application: the test client shows the red window, then starts the
# streamer as its child, as an application starts it once its window is up.
"$B/quorvane-wayland-client" --window app ff0000 --run "$B/quorvane-recording-screen" "$id" 30 <"$work/helper.in" \
  | "$B/quorvane-split-frames" --count 1 "$OUT/recording-screen-wayland-frame" >"$work/split.log" &
rm -f "$OUT"/recording-screen-wayland-frame-*.jpg
exec 7>"$work/helper.in"
for _ in $(seq 1 100); do
  grep -q '\.jpg' "$work/split.log" 2>/dev/null && break
  sleep 0.05
done
echo stop >&7
exec 7>&-
cat "$work/split.log"
f=$OUT/recording-screen-wayland-frame-001.jpg
identify -format "%f: %wx%h JPEG\n" "$f" 2>/dev/null || ls -l "$f"
