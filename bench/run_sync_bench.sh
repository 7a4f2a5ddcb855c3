#!/bin/sh
# Builds sync_bench with optimisation and runs it in a temporary folder on
# the local disk, which is removed afterwards: Synchronize of 10,000 small
# files and of one 1 GiB file against cp, and a Synchronize with nothing to
# do over 100,000 files against the fill alone.
#
#   bench/run_sync_bench.sh [BUILD_DIR] [-- sync_bench options]
#
# BUILD_DIR defaults to build-sbench beside this script's folder. Set TMPDIR
# to measure another disk (the default is /var/tmp). Further options go to
# sync_bench, e.g. -- --idle-files 50000 --parts 1,3
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
trap 'cd /; rm -rf "$work"' EXIT INT TERM
echo "work folder: $work ($(df -T "$work" | awk 'NR==2 {print $2 " on " $1}'))"
"$build_dir/bench/sync_bench" --work "$work" "$@"
