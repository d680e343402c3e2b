#!/usr/bin/env bash
# Checks the Debian package the way a user meets it: builds it from a clean
# copy of the tree, runs lintian, installs it (dpkg -i, then apt-get -f install
# for what is missing), runs each program once from /usr/libexec/quorvane,
# purges it and proves that none of its files is left.
#   scripts/package-check.sh [--deb PACKAGE]   (--deb: check that one, built already)
# Needs root (or sudo). The recording smoke test uses quorvane-with-x and
# quorvane-fake-app from build/$QUORVANE_TOOLS_PRESET/bin (default: the default
# preset), built here when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
package=quorvane-helpers
libexec=/usr/libexec/quorvane
tools_preset=${QUORVANE_TOOLS_PRESET:-default}
tools=$root/build/$tools_preset/bin

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "package check: $*" >&2
  exit 1
}
installed() {
  [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}
timings=()
started=$SECONDS
lap() {
  timings+=("$1 $((SECONDS - started)) s")
  started=$SECONDS
}

# One frame from the installed streamer, on the private display this runs in:
# the fake application owns a window and starts the streamer as its child, as
# the application would. The first record comes unasked; "stop" ends it.
if [[ ${1:-} == --one-frame ]]; then
  frames=$2
  work=$(mktemp -d)
  trap 'exec 7>&- 8<&- 9>&- 2>/dev/null || true; wait; rm -rf "$work"' EXIT
  name=$(xrandr --listmonitors | awk 'NR == 2 { n = $2; sub(/^[+*]+/, "", n); print n }')
  id=$(xlsatoms -name "$name" | cut -f1)
  [[ -n $id ]] || fail "no monitor on the private display"
  mkfifo "$work/ctl" "$work/rep" "$work/in"
  "$tools/quorvane-fake-app" --control-fd 3 --report-fd 4 3<"$work/ctl" 4>"$work/rep" <"$work/in" >"$frames" &
  exec 7>"$work/ctl" 8<"$work/rep" 9>"$work/in"
  app() {
    echo "$1" >&7
    read -r -t 10 -u 8 reply || fail "the fake application did not answer '$1'"
    echo "$reply"
  }
  app "window color=c03030 x=40 y=40 w=300 h=200" >/dev/null
  app "$(printf 'run\x1f%s\x1f%s\x1f30' "$libexec/quorvane-recording-screen" "$id")" >/dev/null
  # A whole record: 4 bytes of big-endian length, then that many bytes.
  for _ in $(seq 100); do
    size=$(stat -c %s "$frames")
    if ((size >= 4)); then
      length=$(od -An -tu1 -N4 "$frames" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }')
      ((size >= length + 4)) && break
    fi
    sleep 0.1
  done
  echo stop >&9
  status=$(app wait)
  echo quit >&7
  [[ $status == "exit 0" ]] || fail "quorvane-recording-screen ended with '$status'"
  exit 0
fi

# 1. Build (scripts/package.sh prints the .deb's path last).
if [[ ${1:-} == --deb ]]; then
  deb=$2
else
  deb=$(scripts/package.sh | tail -n 1)
  lap build
fi
[[ -f $deb ]] || fail "no package at '$deb'"
echo "package: $deb, $(stat -c %s "$deb") bytes" >&2
dpkg-deb -f "$deb" Depends Recommends Static-Built-Using >&2

# 2. Lintian: errors fail the check; the warnings kept are listed in the README.
installed lintian || { "${sudo[@]}" apt-get update -q && "${sudo[@]}" apt-get install -y -q --no-install-recommends lintian; } >&2
verdict=0
report=$(lintian --fail-on error "$deb" 2>&1) || verdict=$?
grep -v 'running with root privileges' <<<"$report" >&2 || true
((verdict == 0)) || fail "lintian reports errors"
lap lintian

# 3. Install. A copy left by an earlier run goes first, so that what is
# checked is this build.
if dpkg-query -W "$package" >/dev/null 2>&1; then
  "${sudo[@]}" apt-get purge -y -q "$package" >&2
fi
cleanup() {
  if dpkg-query -W "$package" >/dev/null 2>&1; then
    "${sudo[@]}" apt-get purge -y -q "$package" >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
"${sudo[@]}" dpkg -i "$deb" >&2 || "${sudo[@]}" apt-get -f install -y -q >&2
installed "$package" || fail "$package did not install"
files=$(mktemp)
trap 'cleanup; rm -f "$files"' EXIT
dpkg -L "$package" >"$files"
# Nothing but the programs, their KWin grants, the OCR models and their documentation.
shipped=$(while read -r path; do [[ -d $path ]] || echo "$path"; done <"$files" | sort)
models=/usr/share/quorvane/ocr-models
expected=$(printf '%s\n' \
  $libexec/quorvane-desktop $libexec/quorvane-input $libexec/quorvane-ocr $libexec/quorvane-recording-screen \
  /usr/share/applications/quorvane-input.desktop /usr/share/applications/quorvane-recording-screen.desktop \
  /usr/share/doc/$package/README.md.gz /usr/share/doc/$package/changelog.gz /usr/share/doc/$package/copyright \
  $models/det.onnx $models/keys.txt $models/rec-{256,512,768,1152,2048}.onnx | sort)
[[ $shipped == "$expected" ]] || fail "unexpected files in the package:"$'\n'"$shipped"
# KWin grants the program whose installed path the entry names.
for program in quorvane-input quorvane-recording-screen; do
  grep -qx "Exec=$libexec/$program" /usr/share/applications/$program.desktop ||
    fail "the KWin grant of $program names another path"
done
lap install

# 4. One real run of each program from its installed path.
# quorvane-input starts once per question: only the C library loads with it
# (the Wayland and D-Bus libraries load when first called).
needed=$(readelf -d "$libexec/quorvane-input" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
while read -r library; do
  [[ $library == libc.so.* || $library == ld-linux* ]] || fail "quorvane-input loads $library at every start"
done <<<"$needed"
answer=$("$libexec/quorvane-input" --self-test)
[[ $answer == '{"plain":null,"shiftOnly":null,"shortcut":"Cmd+Shift+9","unknown":null}' ]] ||
  fail "quorvane-input --self-test answered $answer"

answer=$("$libexec/quorvane-desktop" --self-test)
python3 - "$answer" <<'PY' || fail "quorvane-desktop --self-test answered $answer"
import json, sys
assert json.loads(sys.argv[1]) == {
    "aboveDesktopIcons": True, "belowNormalWindows": True, "maxLifetimeSeconds": 10,
    "fill": {"x": -50, "y": 0, "width": 200, "height": 100},
    "fit": {"x": 0, "y": 25, "width": 100, "height": 50}}
PY

# The English data is the one language the package requires.
answer=$(env -u TESSDATA_PREFIX "$libexec/quorvane-ocr" eng <ocr/sample/screenshot.png)
python3 - "$answer" <<'PY' || fail "quorvane-ocr did not read the sample: $answer"
import json, sys
messages = [json.loads(line) for line in sys.argv[1].splitlines()]
assert messages[0] == {"type": "progress", "status": "loading"}
result = messages[-1]
assert result["type"] == "result" and "Inbox" in result["text"], result
PY

for tool in quorvane-with-x quorvane-fake-app; do
  [[ -x $tools/$tool ]] && continue
  { cmake --preset "$tools_preset" && cmake --build --preset "$tools_preset" --target quorvane-with-x quorvane-fake-app; } >&2
  break
done
frames=$(mktemp)
trap 'cleanup; rm -f "$files" "$frames"' EXIT
"$tools/quorvane-with-x" --no-wm --size 640x480 -- "$0" --one-frame "$frames" >&2 ||
  fail "quorvane-recording-screen gave no frame"
python3 - "$frames" <<'PY' || fail "quorvane-recording-screen wrote something else than one 640x480 frame record"
import struct, sys
data = open(sys.argv[1], "rb").read()
length = struct.unpack(">I", data[:4])[0]
jpeg = data[4:]
assert len(jpeg) == length and jpeg[:2] == b"\xff\xd8" and jpeg[-2:] == b"\xff\xd9", (len(data), length)
at = jpeg.index(b"\xff\xc0")  # baseline frame header: precision, height, width
assert struct.unpack(">HH", jpeg[at + 5:at + 9]) == (480, 640)
PY
lap "smoke tests"

# 5. Purge: every file is gone, and every folder too unless another package
# still owns it.
"${sudo[@]}" apt-get purge -y -q "$package" >&2
status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
[[ -z $status || $status == *not-installed ]] || fail "$package is still there after purge: $status"
left=()
while read -r path; do
  [[ $path != /. && ( -e $path || -L $path ) ]] || continue
  [[ -d $path ]] && dpkg -S "$path" >/dev/null 2>&1 && continue
  left+=("$path")
done <"$files"
((${#left[@]} == 0)) || fail "left behind after purge: ${left[*]}"
lap purge

echo "package check: passed ($(IFS=,; echo "${timings[*]}" | sed 's/,/, /g'))"
