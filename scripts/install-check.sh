#!/usr/bin/env bash
# Checks what `cmake --install` puts where, for a build folder whose four
# programs are built: each component alone and all together, under DESTDIR
# with a prefix, and nothing else (no test tools, benchmarks or demo helpers);
# the KWin grants name the installed programs.
#   scripts/install-check.sh BUILD_FOLDER
set -euo pipefail
build=${1:?usage: install-check.sh BUILD_FOLDER}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

programs="libexec/quorvane/quorvane-desktop
libexec/quorvane/quorvane-input
libexec/quorvane/quorvane-ocr
libexec/quorvane/quorvane-recording-screen
share/quorvane/ocr-models/det.onnx
share/quorvane/ocr-models/keys.txt
share/quorvane/ocr-models/rec-256.onnx
share/quorvane/ocr-models/rec-512.onnx
share/quorvane/ocr-models/rec-768.onnx
share/quorvane/ocr-models/rec-1152.onnx
share/quorvane/ocr-models/rec-2048.onnx
share/applications/quorvane-input.desktop
share/applications/quorvane-recording-screen.desktop"
docs="share/doc/quorvane/README.md"

failures=0
check() {  # component (empty: all), expected files under the prefix
  local component=$1 expected=$2 stage=$work/${1:-all} args=()
  [[ -z $component ]] || args=(--component "$component")
  DESTDIR=$stage cmake --install "$build" --prefix /opt/q "${args[@]}" >/dev/null
  local found
  found=$(cd "$stage" && find . -type f -printf '%P\n' | sort)
  local want
  want=$(sed 's|^|opt/q/|' <<<"$expected" | sort)
  if [[ $found != "$want" ]]; then
    echo "install ${component:-(all)}: expected"$'\n'"$want"$'\n'"found"$'\n'"$found" >&2
    failures=$((failures + 1))
  fi
  local program
  for program in $(grep '^libexec/' <<<"$expected" || true); do
    [[ -x $stage/opt/q/$program ]] || { echo "not executable: $program" >&2; failures=$((failures + 1)); }
  done
  local grant
  for grant in $(grep '^share/applications/' <<<"$expected" || true); do
    local exec
    exec=$(grep '^Exec=' "$stage/opt/q/$grant" || true)
    [[ $exec == "Exec=/opt/q/libexec/quorvane/$(basename "$grant" .desktop)" ]] ||
      { echo "$grant names $exec" >&2; failures=$((failures + 1)); }
  done
}
check runtime "$programs"
check doc "$docs"
check "" "$programs"$'\n'"$docs"
# The installed OCR helper finds its models from where it is, with no setting.
root=$(cd "$(dirname "$0")/.." && pwd)
answer=$(env -u QUORVANE_OCR_MODELS "$work/runtime/opt/q/libexec/quorvane/quorvane-ocr" chi_sim \
  < "$root/ocr/sample/screenshot.png" | tail -n 1)
[[ $answer == *'"type":"result"'* && $answer == *'剪贴板'* ]] || {
  echo "installed quorvane-ocr did not read Chinese: $answer" >&2
  failures=$((failures + 1))
}
((failures == 0))
