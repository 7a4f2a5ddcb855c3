#!/usr/bin/env bash
# Cross-builds fill_bench for Windows with optimisation and runs it under
# Wine, in a private Wine prefix, on trees made in a temporary folder on the
# local disk, which is removed afterwards. Wine's speed is not Windows's: the
# fill is compared with a plain walk under Wine in the same run, never with
# the Linux figures.
#
#   bench/run_fill_bench_wine.sh [BUILD_DIR] [-- fill_bench options]
#
# BUILD_DIR defaults to build-win-bench beside this script's folder. Set
# TMPDIR to measure another disk (the default is /var/tmp). Further options
# go to fill_bench, e.g. -- --sizes 100000 --layouts nested (Wine makes a
# file in a large folder slowly, as it looks for the name in every case
# first: a flat tree of 100,000 files takes far longer to make than to
# measure).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=$source_dir/build-win-bench
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
  build_dir=$1
  shift
fi
[ $# -gt 0 ] && [ "$1" = "--" ] && shift

if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$build_dir" --target fill_bench >/dev/null

. "$source_dir/scripts/wine-env.sh"
wine_prefix_new "$build_dir/wineprefix"
work=$(mktemp -d "${TMPDIR:-/var/tmp}/fill_bench.XXXXXX")
trap 'rm -rf "$work"; "$wineserver" -k 2>/dev/null || true' EXIT INT TERM
echo "work folder: $work ($(df -T "$work" | awk 'NR==2 {print $2 " on " $1}')), under Wine $("$wine" --version)"
# Wine's drive Z: is the Linux root.
"$wine" "$build_dir/bench/fill_bench.exe" --work "Z:${work//\//\\}" "$@"
