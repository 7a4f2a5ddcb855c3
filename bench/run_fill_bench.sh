#!/bin/sh
# Builds fill_bench with optimisation and runs it on trees of 10,000, 50,000
# and 100,000 files (1,000 per folder, and all in one folder) made in a
# temporary folder on the local disk, which is removed afterwards.
#
#   bench/run_fill_bench.sh [BUILD_DIR] [-- fill_bench options]
#
# BUILD_DIR defaults to build-bench beside this script's folder. Set TMPDIR
# to measure another disk (the default is /var/tmp). Further options go to
# fill_bench, e.g. -- --sizes 100000 --layouts nested --fractional
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=$source_dir/build-bench
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
  build_dir=$1
  shift
fi
[ $# -gt 0 ] && [ "$1" = "--" ] && shift

if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build_dir" --target fill_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/var/tmp}/fill_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
echo "work folder: $work ($(df -T "$work" | awk 'NR==2 {print $2 " on " $1}'))"
"$build_dir/bench/fill_bench" --work "$work" "$@"
