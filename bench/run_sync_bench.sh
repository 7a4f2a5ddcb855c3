#!/bin/sh
# Builds sync_bench with optimisation and runs it in a temporary folder on
# the local disk, which is removed afterwards: Synchronize of 10,000 small
# files and of one 1 GiB file against cp, each also with copies unverified
# to show what verifying them costs, and a Synchronize with nothing to do
# over 100,000 files against the fill alone.
#
#   bench/run_sync_bench.sh [BUILD_DIR] [-- sync_bench options]
#
# BUILD_DIR defaults to build-sbench beside this script's folder. Set TMPDIR
# to measure another disk (the default is /var/tmp). The carrier lies on
# another volume, as a removable drive does: CARRIER_DIR, by default the
# memory file system /dev/shm (set CARRIER_DIR=same to keep it on the
# measured disk). Further options go to sync_bench, e.g.
# -- --idle-files 50000 --parts 1,3
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=$source_dir/build-sbench
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
  build_dir=$1
  shift
fi
[ $# -gt 0 ] && [ "$1" = "--" ] && shift

if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build_dir" --target sync_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/var/tmp}/sync_bench.XXXXXX")
carrier_base=${CARRIER_DIR:-/dev/shm}
carrier=
if [ "$carrier_base" != same ] && [ -d "$carrier_base" ]; then
  carrier=$(mktemp -d "$carrier_base/sync_bench_carrier.XXXXXX")
fi
trap 'cd /; rm -rf "$work" ${carrier:+"$carrier"}' EXIT INT TERM
where() { df -T "$1" | awk 'NR==2 {print $2 " on " $1}'; }
echo "work folder: $work ($(where "$work"))"
if [ -n "$carrier" ]; then
  echo "carrier folder: $carrier ($(where "$carrier"))"
  "$build_dir/bench/sync_bench" --work "$work" --carrier "$carrier" "$@"
else
  echo "carrier folder: below the work folder"
  "$build_dir/bench/sync_bench" --work "$work" "$@"
fi
