#!/usr/bin/env bash
# The crash soak (tests/soak/soak.cpp): three computers, each the real
# program run as a process on one carrier, a Synchronize killed with SIGKILL
# in every round, and the folders checked after each kill. The third
# computer is keldar.exe under Wine when KELDAR_WINDOWS_BUILD names the
# Windows build (WINEPREFIX its prefix, by default the build's wineprefix/);
# without it, or with --linux-only, all three run the Linux keldar.
#
#   scripts/soak.sh [--kills N] [--minutes M] [--seed S] [--files F] [--dir D]
#                   [--linux-only]
#
# Without --kills: 20 kills; a long run is --kills 500. Without --seed: the
# time. The seed is printed first, so a failing run can be repeated;
# --minutes ends it after that time with the kills made so far. The
# soak builds keldar and itself in build/ (or $BUILD_DIR) first; the
# options go to it as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja >/dev/null
cmake --build "$build_dir" --target keldar_soak
exec "$build_dir/tests/keldar_soak" "$@"
