#!/usr/bin/env bash
# The Debian package on a fresh Debian 12, as a user would install it (root,
# network access to Debian's package mirror):
#   bash scripts/deb_install_test.sh [BUILD_DIR]     (default build-release)
# 1. builds the project in BUILD_DIR (a new one as Release) and the package
#    with cpack -G DEB;
# 2. makes a minimal Debian 12 root with debootstrap and installs the package
#    there with apt, without recommended packages, so its declared
#    dependencies alone must carry it;
# 3. runs `kalibron --help`, `kalibron --version` and `kalibron plot` (its
#    drawing module from /usr/lib/kalibron) there, and Kalibron-01 under
#    xvfb-run until it has drawn its window into an image.
# KALIBRON_DEBIAN_MIRROR overrides the mirror, KALIBRON_DEB_TEST_DIR the work
# folder (default /tmp/kalibron-deb-test; the root is made afresh each run,
# the packages debootstrap downloads are kept there).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
work=${KALIBRON_DEB_TEST_DIR:-/tmp/kalibron-deb-test}
mirror=${KALIBRON_DEBIAN_MIRROR:-http://deb.debian.org/debian}
root=$work/root

[[ $(id -u) -eq 0 ]] || { echo "run as root (debootstrap, chroot)" >&2; exit 2; }
bash scripts/setup.sh deps debootstrap

echo "== Package (cpack -G DEB) from $build"
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --parallel "$(nproc)"
rm -f "$build"/kalibron_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/kalibron_*.deb)
dpkg-deb --info "$deb" | sed -n 's/^ *\(Package\|Version\|Depends\):/&/p'

mounted=()
cleanup() {
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT

echo "== Fresh Debian 12 root in $root"
for m in "$root/proc" "$root/dev"; do
    umount -l "$m" 2>/dev/null || true
    if mountpoint -q "$m"; then echo "$m is still mounted; not removing $root" >&2; exit 1; fi
done
# Never into a mount left behind (the bound /dev above all).
rm -rf --one-file-system "$root"
mkdir -p "$work"
# The downloaded packages are kept in $work/debs for the next run; the root is new.
mkdir -p "$work/debs"
debootstrap --variant=minbase --cache-dir="$work/debs" bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 \
    || { tail -20 "$work/debootstrap.log"; exit 1; }
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")

echo "== apt install ./$(basename "$deb") (dependencies from the mirror)"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }
in_root apt-get update -q >"$work/apt.log"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "/tmp/$(basename "$deb")" >>"$work/apt.log" 2>&1 || { tail -30 "$work/apt.log"; exit 1; }
# xvfb-run only for this test: a desktop has its own display.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends xvfb xauth \
    >>"$work/apt.log" 2>&1 || { tail -30 "$work/apt.log"; exit 1; }

echo "== Installed programs"
in_root kalibron --help | head -3
in_root kalibron --version
in_root ls /usr/share/applications/kalibron-01.desktop /usr/share/kalibron/student.dat /usr/share/man/man1/kalibron.1.gz \
    /usr/share/doc/kalibron/copyright /usr/share/doc/kalibron/changelog.gz
# The window program answers without a display, which the root has not.
in_root Kalibron-01 --version
cp tests/data/example_table.txt "$root/tmp/"
in_root kalibron plot -o /tmp/plot.png /tmp/example_table.txt
[[ -s $root/tmp/plot.png ]] || { echo "kalibron plot drew no image" >&2; exit 1; }
echo "kalibron plot drew its image ($(stat -c %s "$root/tmp/plot.png") bytes)."
in_root timeout 120 xvfb-run -a Kalibron-01 --screenshot /tmp/window.png
[[ -s $root/tmp/window.png ]] || { echo "Kalibron-01 drew no window" >&2; exit 1; }
echo "Kalibron-01 started and drew its window ($(stat -c %s "$root/tmp/window.png") bytes)."
echo "OK: the package installs on a fresh Debian 12 and its programs start."
