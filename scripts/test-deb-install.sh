#!/usr/bin/env bash
# Installs the built package into a fresh Debian 12 root in a chroot and runs
# it there: keldar --help and --version, then a batch Synchronize between
# two computers on a carrier made in the chroot. Run by hand as root after
# scripts/package-deb.sh; it downloads (debootstrap, the package's
# dependencies), so scripts/test.sh does not run it.
#
# The debootstrapped root is kept in $KELDAR_DEB_TEST_CACHE
# (/var/cache/keldar-deb-test) together with apt's downloaded packages; each
# run copies it afresh, so a second run downloads only apt's package index.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
deb=$(ls "${DEB_BUILD_DIR:-build-deb}"/keldar_*_amd64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "No package: run scripts/package-deb.sh first" >&2; exit 1; }
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=${KELDAR_DEB_TEST_CACHE:-/var/cache/keldar-deb-test}
mkdir -p "$cache/archives/partial"
if [ ! -x "$cache/base/usr/bin/apt-get" ]; then
  echo "Making the Debian 12 root in $cache/base from $mirror"
  rm -rf "$cache/base.new"
  debootstrap --variant=minbase bookworm "$cache/base.new" "$mirror"
  mv "$cache/base.new" "$cache/base"
fi

root=$(mktemp -d /var/tmp/keldar-deb-test.XXXXXX)
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$cache/base/." "$root/"
for m in proc dev dev/pts var/cache/apt/archives; do
  case $m in
    proc) mount -t proc proc "$root/proc" ;;
    dev*) mount --bind "/$m" "$root/$m" ;;
    *) mount --bind "$cache/archives" "$root/$m" ;;
  esac
  mounted+=("$root/$m")
done
cp /etc/resolv.conf "$root/etc/resolv.conf"
echo "deb $mirror bookworm main" >"$root/etc/apt/sources.list"
cp "$deb" "$root/tmp/"

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive /bin/sh -ec "$1"; }

echo "== apt-get install ./$(basename "$deb")"
in_root "apt-get update -q >/dev/null && apt-get install -y -q ./tmp/$(basename "$deb")"

echo "== keldar --version; listtext --version; dataupgrade --version"
in_root 'keldar --version; listtext --version; dataupgrade --version'
echo "== keldar --help"
in_root 'keldar --help'

# Two computers, Ann (identification folder C) and Bob (D: the argument 1),
# on one carrier; one object, /root/ann on Ann and /root/bob on Bob, and the
# mask *.* that copies and deletes, written byte for byte as the tables are
# stored. Each computer's first Synchronize takes its folder as it is; in
# the second round Ann's puts her files on the carrier and Bob's brings them
# in.
echo "== batch Synchronize on a carrier made in the chroot"
in_root '
field() { printf "%s" "$1"; head -c $(($2 - ${#1})) /dev/zero; }
mkdir -p /root/carrier /root/ann /root/bob
echo "made on Ann" >/root/ann/a.txt
cd /root/carrier
keldar --batch --name Ann >/dev/null
keldar 1 --batch --name Bob >/dev/null
{ printf "\345\001\000\002\000\001\000\000\001\001\001\001\001\001\001\001"
  field "/root/ann/*.*" 512; field "/root/bob/*.*" 512; head -c 1025 /dev/zero
} >SYNCOBJ.QRV
{ printf "\001\000"; field "*.*" 64; printf "\001\000\001\000"; head -c 8 /dev/zero; } >MASKS.QRV
echo "-- first round: Ann, then Bob (log lines left out)"
keldar --batch --sync --name Ann --answer yes >/dev/null
keldar 1 --batch --sync --name Bob --answer yes >/dev/null
echo "added on Ann" >/root/ann/b.txt
echo "-- Ann: keldar --batch --sync --name Ann --answer yes"
keldar --batch --sync --name Ann --answer yes
echo "-- Bob: keldar 1 --batch --sync --name Bob --answer yes"
keldar 1 --batch --sync --name Bob --answer yes
for f in a.txt b.txt; do
  cmp /root/ann/$f /root/bob/$f
  echo "$f reached Bob: $(cat /root/bob/$f)"
done
'
echo "Install test passed"
