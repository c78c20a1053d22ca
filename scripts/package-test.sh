#!/usr/bin/env bash
# package-test.sh [DEB]: installs the Debian package in a fresh minimal
# Debian 12 (debootstrap), as an administrator would, and checks it there:
#   apt-get install ./qxsim_*.deb pulls in what the programs need;
#   `qxsim run --steps 1000 --metrics -` runs the starting case from any folder;
#   `qxsim sweep --map` finds its heat-map module and draws the map;
#   the window starts from its desktop entry's Exec line (under Xvfb);
#   `man qxsim` shows the page;
#   removing (purging) the package leaves no file of it behind.
# Without DEB the package is built first (scripts/package.sh). Run as root.
# TEST_ROOT (default: a new folder under /var/tmp) is where the fresh Debian
# is made; it is removed afterwards unless KEEP_ROOT=1.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" = 0 ] || { echo "package-test: run as root" >&2; exit 2; }
deb=${1:-}
if [ -z "$deb" ]; then
  scripts/package.sh
  deb=$(ls build-package/qxsim_*.deb)
fi
deb=$(realpath "$deb")
root=${TEST_ROOT:-$(mktemp -d /var/tmp/qxsim-fresh.XXXXXX)}
command -v debootstrap >/dev/null ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
mirror=$(grep -h -E '^(URIs:|deb )' /etc/apt/sources.list.d/* /etc/apt/sources.list 2>/dev/null |
  head -n 1 | awk '{print $2}' || true)
mirror=${mirror:-http://deb.debian.org/debian}
cleanup() {
  umount -R "$root/dev" 2>/dev/null || true
  umount "$root/proc" "$root/sys" 2>/dev/null || true
  [ "${KEEP_ROOT:-0}" = 1 ] || rm -rf "$root"
}
trap cleanup EXIT
if [ ! -x "$root/bin/bash" ]; then
  echo "package-test: making a minimal Debian 12 in $root"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -20 "$root.debootstrap.log"; exit 1; }
  rm -f "$root.debootstrap.log"
  cp /etc/resolv.conf "$root/etc/"
  [ -d /usr/local/share/ca-certificates ] && cp -r /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/" 2>/dev/null || true
fi
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --rbind /dev "$root/dev"
cp "$deb" "$root/root/"
cp scripts/package-check-inside.sh "$root/root/"
chroot "$root" /bin/bash /root/package-check-inside.sh "/root/$(basename "$deb")"
