#!/usr/bin/env bash
# quorvane-desktop: hides the desktop icons behind the wallpaper while a
# screenshot is taken. Saves desktop-before.png and desktop-masked.png.
set -euo pipefail
bin=${QUORVANE_BIN:?}
out=${QUORVANE_DEMO_OUT:?}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A wallpaper made on the spot, chosen the way GNOME keeps it (GSettings),
# in a private settings file so that nothing of the user's is touched.
convert -size 1600x1000 gradient:'#0b3d91'-'#6cc3d5' \
  -fill '#f4d35e' -draw 'circle 1200,260 1200,380' \
  -fill '#0d1b2a' -draw 'polygon 0,1000 520,560 900,820 1250,520 1600,900 1600,1000' "$work/wallpaper.jpg"
mkdir -p "$work/config/glib-2.0/settings"
cat > "$work/config/glib-2.0/settings/keyfile" <<KEYS
[org/gnome/desktop/background]
picture-uri='file://$work/wallpaper.jpg'
picture-options='zoom'
primary-color='#000000'
KEYS
export GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=$work/config

# A desktop full of icons (magenta squares), and an ordinary window above it.
read -r width height < <(xrandr | sed -n 's/.* current \([0-9]*\) x \([0-9]*\),.*/\1 \2/p')
{ echo "window type=desktop icons=1 x=0 y=0 w=$width h=$height color=203040 title=Desktop"; sleep 120; } |
  "$bin/quorvane-fake-app" > "$work/icons.out" &
pids+=($!)
for _ in $(seq 100); do grep -q '^window' "$work/icons.out" 2>/dev/null && break; sleep 0.1; done
{ echo "window x=1500 y=180 w=560 h=360 color=e8e8e8 title=Editor"; sleep 120; } | "$bin/quorvane-fake-app" > "$work/app.out" &
pids+=($!)
for _ in $(seq 100); do grep -q '^window' "$work/app.out" 2>/dev/null && break; sleep 0.1; done

import -window root "$out/desktop-before.png"
echo "before: $out/desktop-before.png"

coproc MASK { exec "$bin/quorvane-desktop" --mask-desktop; }
read -r -t 10 line <&"${MASK[0]}"
echo "quorvane-desktop says: $line"
import -window root "$out/desktop-masked.png"
echo "masked: $out/desktop-masked.png"
echo stop >&"${MASK[1]}"
status=0
wait "$MASK_PID" || status=$?
echo "stopped with status $status"
